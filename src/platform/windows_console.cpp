#include "platform/windows_console.h"

#include <windows.h>

#include "platform/windows_text.h"

namespace tsmerge::windows {
namespace {

HANDLE handleOf(StandardStream stream) {
  return ::GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool handleIsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

// Length of the text without an incomplete UTF-8 sequence at its end.
std::size_t completeUtf8Length(const std::string& text) {
  std::size_t start = text.size();
  // Step back over at most three continuation bytes to the lead byte of the last character.
  for (int back = 0; back < 4 && start > 0; ++back) {
    const auto byte = static_cast<unsigned char>(text[start - 1]);
    --start;
    if ((byte & 0xC0) != 0x80) {
      const std::size_t needed = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
      return text.size() - start >= needed ? text.size() : start;
    }
  }
  return text.size();
}

}  // namespace

bool isConsole(StandardStream stream) { return handleIsConsole(handleOf(stream)); }

ConsoleBuffer::ConsoleBuffer(StandardStream stream)
    : handle_(handleOf(stream)), console_(handleIsConsole(handleOf(stream))) {}

ConsoleBuffer::~ConsoleBuffer() { flushPending(true); }

ConsoleBuffer::int_type ConsoleBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  pending_ += traits_type::to_char_type(c);
  // Lines reach the console as they end; long text goes out in pieces.
  if (c == '\n' || c == '\r' || pending_.size() >= 4096) {
    if (!flushPending(false)) return traits_type::eof();
  }
  return c;
}

int ConsoleBuffer::sync() { return flushPending(false) ? 0 : -1; }

bool ConsoleBuffer::flushPending(bool all) {
  const std::size_t length = all ? pending_.size() : completeUtf8Length(pending_);
  if (length == 0) return true;
  bool written = true;
  if (console_) {
    const std::wstring wide = widen(pending_.substr(0, length));
    DWORD done = 0;
    written = ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &done,
                              nullptr) != 0;
  } else if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
    std::size_t at = 0;
    while (written && at < length) {
      DWORD done = 0;
      written = ::WriteFile(handle_, pending_.data() + at, static_cast<DWORD>(length - at), &done,
                            nullptr) != 0;
      at += done;
    }
  }
  pending_.erase(0, length);
  return written;
}

}  // namespace tsmerge::windows
