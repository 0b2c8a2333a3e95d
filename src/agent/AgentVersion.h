// The agent's version text, compared by the console with its own copy.
#pragma once

#include <string>

namespace tarvo {

inline const std::string AGENT_VERSION = "0228305";

} // namespace tarvo
