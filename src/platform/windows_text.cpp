#include "platform/windows_text.h"

#include <windows.h>

#include <cwctype>
#include <vector>

namespace tsmerge::windows {

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        length);
  return wide;
}

std::string narrow(const wchar_t* utf16, std::size_t length) {
  if (length == 0) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, utf16, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16, static_cast<int>(length), text.data(), size, nullptr,
                        nullptr);
  return text;
}

std::string narrow(const std::wstring& utf16) { return narrow(utf16.data(), utf16.size()); }

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Resolves "." and "..", and reads repeated separators as one, in the part after the root;
// a final separator is kept.
std::wstring normalizedTail(const std::wstring& tail) {
  std::vector<std::wstring> names;
  std::wstring name;
  const auto endName = [&] {
    if (name == L"..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != L".") {
      names.push_back(name);
    }
    name.clear();
  };
  for (const wchar_t c : tail) {
    if (isSeparator(c)) {
      endName();
    } else {
      name += c;
    }
  }
  const bool finalSeparator = !tail.empty() && isSeparator(tail.back());
  endName();
  std::wstring joined;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) joined += L'\\';
    joined += names[i];
  }
  if (finalSeparator && !joined.empty()) joined += L'\\';
  return joined;
}

}  // namespace

std::wstring extendedPath(const std::string& utf8Path) {
  std::wstring path = widen(utf8Path);
  // Already in the system's own form: taken as it is.
  if (path.rfind(L"\\\\?\\", 0) == 0) return path;
  const bool drivePath = path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' &&
                         isSeparator(path[2]);
  const bool uncPath = path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
  if (!drivePath && !uncPath) {
    // Relative to the working folder (or to the current drive): the system makes it absolute.
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (written == 0 || written >= size) return path;
    full.resize(written);
    return extendedPath(narrow(full));
  }
  if (drivePath) return L"\\\\?\\" + path.substr(0, 2) + L"\\" + normalizedTail(path.substr(3));
  // \\server\share\rest: the server and share stay, the rest is normalized.
  std::size_t at = 2;
  for (int parts = 0; parts < 2 && at < path.size(); ++parts) {
    const std::size_t next = path.find_first_of(L"\\/", at);
    at = next == std::wstring::npos ? path.size() : next + 1;
  }
  std::wstring root = path.substr(2, at - 2);
  for (wchar_t& c : root) {
    if (c == L'/') c = L'\\';
  }
  return L"\\\\?\\UNC\\" + root + normalizedTail(path.substr(at));
}

std::string errorText(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return "no such file or directory";
    case ERROR_ACCESS_DENIED:
      return "permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "the file is in use by another program";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "no space left on device";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return "file exists";
    case ERROR_WRITE_PROTECT:
      return "read-only file system";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return "out of memory";
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
      return "input/output error";
    default:
      return "windows error " + std::to_string(code);
  }
}

}  // namespace tsmerge::windows
