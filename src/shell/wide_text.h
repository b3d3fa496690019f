// UTF-8 and the UTF-16 of the Windows wide-character calls. Inside the program every text is
// UTF-8; it turns into UTF-16 only at a Windows call.
#pragma once

#ifdef _WIN32

#include <string>

namespace korvex::shell {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace korvex::shell

#endif  // _WIN32
