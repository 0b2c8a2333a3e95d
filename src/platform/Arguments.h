// The program's command-line arguments as GBK texts, as every other text of the system.
#pragma once

#include <string>
#include <vector>

namespace tarvo {

// The arguments after the program's name. Linux: argv as it is. Windows: the wide command
// line (GetCommandLineW, CommandLineToArgvW) converted from UTF-16 to GBK, so that Chinese
// paths arrive whole whatever the system's ANSI code page, which argv is converted to.
std::vector<std::string> programArguments(int argc, char **argv);

} // namespace tarvo
