// The readable form of protocol messages used by tarvo-wire: one JSON object per message.
#pragma once

#include "protocol/Message.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace tarvo::wire {

using Json = nlohmann::ordered_json;

// How protocol bytes (GBK) appear in JSON strings. Gbk: converted to Unicode, bytes that
// form no character become U+FFFD. Raw: every byte b is the character U+00bb, so nothing
// is lost; a JSON object in that form carries "raw": true.
enum class TextMode { Gbk, Raw };

// A protocol text as a JSON string value (UTF-8).
std::string toJsonText(std::string_view bytes, TextMode mode);
// Back to protocol bytes. Throws std::runtime_error when a Raw text holds a character
// above U+00FF.
std::string fromJsonText(std::string_view utf8, TextMode mode);

// One decoded message: header fields as they travelled, `fields` (type name -> value,
// pattern order first), the raw body text of a type without a body class, and for a
// status response `oesRecords` / `pbuRecords` when its packages read as records.
Json messageToJson(const Message &message, std::string_view bodyText, TextMode mode);

// The wire bytes of one message in that form. `checkSum` and `bodyLength` are ignored and
// computed. Throws std::runtime_error with a text for the operator on bad input;
// `notes` receives remarks that do not stop encoding (fields the type never writes).
std::string jsonToWire(const Json &object, std::vector<std::string> &notes);

// The text an error line gives for a negative decode result.
std::string resultText(int result);

} // namespace tarvo::wire
