#pragma once

#include <string>

namespace tsmerge::windows {

// The program holds text as UTF-8; the system's wide-character calls take UTF-16.
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16, std::size_t length);

// The path as the wide-character file calls take it: made absolute, "/" read as "\", "." and ".."
// resolved, repeated separators read as one, and behind the "\\?\" prefix so that paths longer
// than 260 characters work and names such as "nul" or "a." name files, not devices.
std::wstring extendedPath(const std::string& utf8Path);

// A short lower-case reason for a system error code, such as "no such file or directory".
std::string errorText(unsigned long code);

}  // namespace tsmerge::windows
