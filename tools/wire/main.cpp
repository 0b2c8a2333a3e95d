// tarvo-wire: decodes a protocol byte stream into JSON lines and encodes such lines back.
#include "WireJson.h"

#include "platform/Gbk.h"
#include "platform/Stdio.h"
#include "protocol/Convert.h"
#include "protocol/StreamFramer.h"

#include <iostream>
#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::wire;

namespace {

const char *const USAGE = R"(Usage: tarvo-wire COMMAND [OPTIONS]

Reads and writes the console/agent wire protocol.

Commands:
  decode [--raw]   protocol bytes on stdin -> one JSON object per message on stdout
  encode           JSON lines on stdin -> protocol bytes on stdout

Options:
  --help           this text (or, after a command, that command's help)
  --version        the tool's version

Example:
  tarvo-wire decode < capture.bin | tarvo-wire encode > again.bin
)";

const char *const DECODE_HELP = R"(Usage: tarvo-wire decode [--raw]

Reads a byte stream from stdin (any number of messages back to back, as a connection
receives them) and writes one JSON object per line for each message:

  {"version": "Tarvo1.20", "orientation": "S", "messageType": "03", "sequence": "7",
   "bodyLength": "245", "checkSum": " 38", "fields": {"hostStatus": "...", ...},
   "oesRecords": [{"oesExist": "Y", ...}], "pbuRecords": [...]}

  - header values are texts as they travelled; checkSum keeps its three characters;
  - fields: type name -> value for every body field, in pattern order; the packages
    "oesPackage" and "pbuPackage" by their raw content (separator 0x01 shows as \u0001);
  - oesRecords, pbuRecords (status responses): the packages as records, when they read
    as whole records;
  - body: the raw body text of a message type that has no body class.

Texts are converted from GBK to UTF-8; bytes that form no GBK character become U+FFFD.
  --raw   write every byte >= 0x80 as \u00XX of its value instead, so nothing is lost,
          and mark the object with "raw": true

When a message cannot be decoded the tool writes one line
  {"error": "<result or exception text>", "offset": <byte offset of the message>}
and stops with exit status 1; a trailing incomplete message gives the error
"incomplete". Exit status 0 when the whole stream was decoded.
)";

const char *const ENCODE_HELP = R"(Usage: tarvo-wire encode

Reads JSON objects, one per line (UTF-8), in the form `tarvo-wire decode` writes, and
writes the protocol bytes of each message to stdout. Blank lines are skipped.

  - messageType is required and written as its body class's two-digit code ("2" is
    written "02"); version defaults to "Tarvo1.20", orientation to "C", sequence to
    "0"; checkSum and bodyLength are ignored and computed;
  - the body is built by the body class of messageType from "fields", so the class's
    pattern decides the order and the necessary fields; a field the class does not write
    is reported on stderr and left out; a type without a body class cannot be encoded;
  - a status response may give "oesRecords" / "pbuRecords" arrays instead of the raw
    packages; an array wins over the package field. A record member left out keeps the
    record's default;
  - texts are converted from UTF-8 to GBK, unless the object has "raw": true (as
    `decode --raw` writes): then every character must be U+0000..U+00FF and stands for
    the byte of that value, so a raw line encodes back to the exact original bytes.

Bad input (invalid JSON, unknown member or type name, missing necessary field) stops the
tool with a message naming the line on stderr and exit status 1.
)";

void writeLine(const Json &j, TextMode mode)
{
    // Raw mode writes ASCII only: every byte >= 0x80 becomes \u00XX.
    std::cout << j.dump(-1, ' ', mode == TextMode::Raw, Json::error_handler_t::replace) << '\n';
}

void writeError(const std::string &text, size_t offset, TextMode mode)
{
    Json e = Json::object();
    e["error"] = toJsonText(text, mode);
    e["offset"] = offset;
    writeLine(e, mode);
}

int decode(TextMode mode)
{
    std::string buffer;   // bytes received and not yet decoded
    size_t consumed = 0;  // stream offset of buffer[0]
    bool ended = false;
    std::vector<char> chunk(1 << 16);
    while (true) {
        std::string_view rest(buffer);
        size_t used = 0;
        while (!rest.empty()) {
            Message message;
            const Frame frame = StreamFramer().next(rest, message);
            if (frame.incomplete())
                break;
            if (!frame.complete()) {
                const bool threw = frame.fault == Frame::Fault::Undecodable;
                writeError(threw ? frame.reason : resultText(frame.result), consumed + used, mode);
                return 1;
            }
            const size_t end = size_t(frame.result) - 1;  // body end, 0-based
            const size_t n = size_t(toInt(message.getBodyLength()));
            writeLine(messageToJson(message, rest.substr(end - n, n), mode), mode);
            rest.remove_prefix(frame.length);
            used += frame.length;
        }
        buffer.erase(0, used);
        consumed += used;
        std::cout.flush();
        if (ended)
            break;
        std::string readError;
        const long got = readStdin(chunk.data(), chunk.size(), readError);
        if (got < 0) {
            std::cerr << "tarvo-wire decode: reading stdin: " << readError << '\n';
            return 1;
        }
        if (got == 0)
            ended = true;
        buffer.append(chunk.data(), size_t(got));
    }
    if (!buffer.empty()) {
        writeError(resultText(Message::DECODE_INCOMPLETE), consumed, mode);
        return 1;
    }
    return 0;
}

int encode()
{
    std::string line;
    size_t number = 0;
    while (std::getline(std::cin, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        const std::string where = "tarvo-wire encode: line " + std::to_string(number) + ": ";
        Json object;
        try {
            object = Json::parse(line);
        } catch (const Json::exception &e) {
            std::cerr << where << "invalid JSON: " << e.what() << '\n';
            return 1;
        }
        std::vector<std::string> notes;
        std::string bytes;
        try {
            bytes = jsonToWire(object, notes);
        } catch (const std::exception &e) {
            std::cerr << where << e.what() << '\n';
            return 1;
        }
        for (const std::string &note : notes)
            std::cerr << where << "note: " << note << '\n';
        std::cout.write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::cout.flush();
    return 0;
}

int usageError(const std::string &text)
{
    std::cerr << "tarvo-wire: " << text << "\n\n" << USAGE;
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    // Protocol bytes pass as they are: no CR LF for LF, no end at 0x1A.
    useBinaryStdio();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("no command given");
    const std::string command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << USAGE;
        return 0;
    }
    if (command == "--version") {
        std::cout << "tarvo-wire " << TARVO_VERSION_TEXT << " (protocol " << PROTOCOL_VERSION
                  << ")\n";
        return 0;
    }
    if (command == "decode") {
        TextMode mode = TextMode::Gbk;
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--help" || args[i] == "-h") {
                std::cout << DECODE_HELP;
                return 0;
            }
            if (args[i] != "--raw")
                return usageError("decode: unknown option '" + args[i] + "'");
            mode = TextMode::Raw;
        }
        return decode(mode);
    }
    if (command == "encode") {
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--help" || args[i] == "-h") {
                std::cout << ENCODE_HELP;
                return 0;
            }
            return usageError("encode: unknown option '" + args[i] + "'");
        }
        return encode();
    }
    return usageError("unknown command '" + command + "'");
}
