// Text at the boundary to Windows: the logic speaks UTF-8, the wide-character
// API UTF-16, and the configuration files the ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace tarn::text {

// UTF-8 to UTF-16. Malformed bytes become U+FFFD rather than failing: the
// texts come from the program's own constants and the environment.
std::wstring Widen(std::string_view utf8);

// UTF-16 to UTF-8.
std::string Narrow(std::wstring_view utf16);

// UTF-16 to the system's ANSI code page, one byte per character for the code
// pages of the program's users; characters the page lacks become its default
// character.
std::string ToAnsi(std::wstring_view utf16);

// The system's own description of an error code, in Traditional Chinese where
// the system has it, otherwise in its default language; without the trailing
// line break. Never empty: an unknown code is described by its number. Some
// descriptions name the file they are about ("%1 是錯誤的 EXE 格式。"): subject
// stands in that place, "這個檔案" when it is empty, and any other insert is
// left out, so the person never reads a bare "%1".
std::string SystemMessage(unsigned long code, std::string_view subject = {});

}  // namespace tarn::text
