// The command line of Linux: argv holds the bytes as they were given.
#include "platform/Arguments.h"

namespace tarvo {

std::vector<std::string> programArguments(int argc, char **argv)
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

} // namespace tarvo
