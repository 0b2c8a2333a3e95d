// GBK <-> UTF-16 and the system's error texts for the Windows implementations.
#include "platform/WinText.h"

#include <windows.h>

namespace tarvo::win {

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

} // namespace tarvo::win
