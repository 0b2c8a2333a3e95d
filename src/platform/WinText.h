// What the Windows implementations of the platform share: GBK (code page 936) <-> UTF-16 for
// the wide calls, the system's error texts and command lines. Included by *_win.cpp files only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvo::win {

// Code page 936 is GBK. Windows also has 54936 (GB18030), wine has not; every text of the
// system is GBK, so 936 serves both.
constexpr unsigned GBK_CODE_PAGE = 936;

// GBK bytes as UTF-16 for the wide calls; bytes that form no character become U+FFFD.
std::wstring widen(std::string_view gbk);
// UTF-16 as GBK; a character that GBK lacks becomes '?'.
std::string narrow(std::wstring_view wide);

// "5 Access is denied." for a system error code (GetLastError, WSAGetLastError): the number
// and the system's text in its own language, as GBK, without the line end.
std::string errorText(unsigned long code);
// The same for GetLastError().
std::string lastErrorText();

// The command line that starts `executable` with `arguments` (GBK texts), as
// CommandLineToArgvW reads it back: an argument is quoted when it holds a blank or a quote
// (or is empty), and backslashes before a quote are doubled.
std::wstring commandLine(const std::string &executable, const std::vector<std::string> &arguments);

} // namespace tarvo::win
