// How a text that the agent did not write itself (a client's request, a value from a file)
// appears in the agent's log: cut to a few hundred bytes, its control bytes made visible.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvo {

// Texts from clients (and error texts that may quote them) are logged at most this long.
constexpr size_t LOGGED_TEXT_LIMIT = 300;

// `text` with every byte that could act on a log reader shown as "\xNN" (lower-case hex): the
// control bytes 0x00-0x1F and 0x7F (a CR LF would forge a log line, an ESC would reach the
// terminal of whoever reads the log) and every byte that starts no whole GBK character (so
// that no lead byte can swallow what follows). Printable ASCII and whole GBK (GB18030) characters
// stay as they are; a text made only of them comes back unchanged.
std::string showControlBytes(std::string_view text);

// showControlBytes(`text`) cut to at most `limit` bytes, never inside a character or an
// escape; a text that was cut is followed by "... (N bytes)" with its whole length. The one
// function through which every client text reaches the log.
std::string clipForLog(std::string_view text, size_t limit = LOGGED_TEXT_LIMIT);

} // namespace tarvo
