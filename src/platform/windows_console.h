#pragma once

#include <streambuf>
#include <string>

namespace tsmerge::windows {

enum class StandardStream { Output, Error };

// True when the stream is a console window (not redirected to a file or a pipe).
bool isConsole(StandardStream stream);

// Writes UTF-8 text to a standard stream: as wide characters to a console, so that Chinese shows
// whatever the console's code page, and as the UTF-8 bytes themselves when redirected.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(StandardStream stream);
  ~ConsoleBuffer() override;

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  // Writes what is pending; a character cut at the end waits for its other bytes.
  bool flushPending(bool all);

  void* handle_;
  bool console_;
  std::string pending_;
};

}  // namespace tsmerge::windows
