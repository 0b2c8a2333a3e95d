// GBK <-> UTF-16, the system's error texts and command lines for the Windows implementations.
#include "platform/WinText.h"

#include <windows.h>

namespace tarvo::win {

namespace {

// One argument of a command line as CommandLineToArgvW reads it back: quoted when it holds
// a blank or a quote (or is empty), backslashes before a quote doubled.
std::wstring quoted(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring text = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}

} // namespace

std::wstring widen(std::string_view gbk)
{
    if (gbk.empty())
        return {};
    const int n = ::MultiByteToWideChar(GBK_CODE_PAGE, 0, gbk.data(), int(gbk.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(GBK_CODE_PAGE, 0, gbk.data(), int(gbk.size()), wide.data(), n);
    return wide;
}

std::string narrow(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int n = ::WideCharToMultiByte(GBK_CODE_PAGE, 0, wide.data(), int(wide.size()), nullptr,
                                        0, nullptr, nullptr);
    std::string text(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(GBK_CODE_PAGE, 0, wide.data(), int(wide.size()), text.data(), n,
                              nullptr, nullptr);
    return text;
}

std::string errorText(unsigned long code)
{
    wchar_t *buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, DWORD(code), 0, reinterpret_cast<wchar_t *>(&buffer),
                                     0, nullptr);
    std::wstring text = n > 0 && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty())
        return std::to_string(code) + " (no text for this error)";
    return std::to_string(code) + " " + narrow(text);
}

std::string lastErrorText()
{
    return errorText(::GetLastError());
}

std::wstring commandLine(const std::string &executable, const std::vector<std::string> &arguments)
{
    std::wstring line = quoted(widen(executable));
    for (const std::string &argument : arguments)
        line += L" " + quoted(widen(argument));
    return line;
}

} // namespace tarvo::win
