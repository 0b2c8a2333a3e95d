// Text for a terminal or a pipe: what agents send must not steer the operator's terminal.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

// GBK text with its control bytes (0x00 to 0x1F and 0x7F) written as visible escapes
// ("\x1b", "\x0d"), one column per character of the escape. Bytes of multi-byte characters
// are never control bytes, so characters stay whole.
std::string visibleControls(std::string_view gbk);

// True when every byte is printable ASCII (0x20 to 0x7E): shown as it is.
bool isPlainAscii(std::string_view text);

// GBK text as UTF-8 for a terminal: control bytes as visible escapes, and the C1 controls
// (U+0080 to U+009F, which GB18030 can encode) as "\u0080" to "\u009f".
std::string terminalText(std::string_view gbk);

// The C1 controls of UTF-8 text as "\u0080" to "\u009f".
std::string visibleC1(std::string utf8);

} // namespace tarvo
