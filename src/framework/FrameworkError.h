// The error family of the console's own framework (text-to-number conversion, list access),
// which the message handling logs apart from the protocol's errors.
#pragma once

#include <stdexcept>

namespace tarvo {

class FrameworkError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace tarvo
