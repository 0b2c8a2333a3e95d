// The limit on one message of a stream, in bytes, shared by every reader and writer.
#pragma once

#include <cstddef>

namespace tarvo {

// The console accepts a message whose trailer starts at most at this byte of its receive
// buffer; the agent one that ends at most at it, so that its answers fit the console's buffer
// whatever the console's rule.
constexpr size_t MESSAGE_LIMIT = 20480;

} // namespace tarvo
