#include "platform/windows_file_access.h"

#include <windows.h>

#include "platform/windows_text.h"

namespace tsmerge {
namespace {

using windows::errorText;
using windows::extendedPath;

// Owns one file handle; move-only, closing twice is harmless.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = other.release();
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { close(); }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  bool close() {
    if (!valid()) return true;
    const bool closed = ::CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

struct OpenedHandle {
  Handle handle;
  FileIdentity identity;
  std::string error;
};

// Opens a file on a disk, and nothing else: a device (such as a name the system reserves, or a
// pipe) is refused. A file's identity is its volume serial number and file index.
OpenedHandle openDiskFile(const std::string& path, DWORD access, DWORD sharing, DWORD creation,
                          DWORD flags) {
  Handle handle(::CreateFileW(extendedPath(path).c_str(), access, sharing, nullptr, creation,
                              flags, nullptr));
  if (!handle.valid()) return {Handle(), {}, errorText(::GetLastError())};
  if (::GetFileType(handle.get()) != FILE_TYPE_DISK) return {Handle(), {}, "not a regular file"};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) {
    return {Handle(), {}, errorText(::GetLastError())};
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {Handle(), {}, "is a directory"};
  const FileIdentity identity{
      info.dwVolumeSerialNumber,
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return {std::move(handle), identity, {}};
}

class WindowsSourceFile final : public SourceFile {
 public:
  WindowsSourceFile(Handle handle, FileIdentity identity)
      : handle_(std::move(handle)), identity_(identity) {}
  FileIdentity identity() const override { return identity_; }
  ReadResult read(std::span<std::uint8_t> buffer) override {
    // One ReadFile reads at most 4 GiB - 1 bytes.
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 0x7FFFF000));
    DWORD got = 0;
    if (!::ReadFile(handle_.get(), buffer.data(), wanted, &got, nullptr)) {
      return {0, errorText(::GetLastError())};
    }
    return {got, {}};
  }

 private:
  Handle handle_;
  FileIdentity identity_;
};

class WindowsOutputFile final : public OutputFile {
 public:
  WindowsOutputFile(Handle handle, FileIdentity identity)
      : handle_(std::move(handle)), identity_(identity) {}
  FileIdentity identity() const override { return identity_; }
  std::string write(std::span<const std::uint8_t> data) override {
    while (!data.empty()) {
      const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(data.size(), 0x7FFFF000));
      DWORD written = 0;
      if (!::WriteFile(handle_.get(), data.data(), wanted, &written, nullptr)) {
        return errorText(::GetLastError());
      }
      if (written == 0) return "no space left on device";
      data = data.subspan(written);
    }
    return {};
  }
  std::string truncate(std::uint64_t size) override {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle_.get())) {
      return errorText(::GetLastError());
    }
    return {};
  }
  std::string close() override {
    if (!handle_.valid()) return {};
    // Data the system still holds is written now, so that a late failure is reported.
    const bool flushed = ::FlushFileBuffers(handle_.get()) != 0;
    const DWORD flushError = flushed ? 0 : ::GetLastError();
    if (!handle_.close()) return errorText(::GetLastError());
    return flushed ? std::string() : errorText(flushError);
  }

 private:
  Handle handle_;
  FileIdentity identity_;
};

}  // namespace

std::vector<std::string> WindowsFileAccess::listFolder(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry{};
  const HANDLE search = ::FindFirstFileExW(extendedPath(pattern).c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    // Sub-folders (and links to folders) are not entered, nor listed.
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    names.push_back(windows::narrow(entry.cFileName, ::wcslen(entry.cFileName)));
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return names;
}

Opened<SourceFile> WindowsFileAccess::openSource(const std::string& path) {
  // Read only, and letting other programs go on reading, writing, renaming or deleting it.
  OpenedHandle opened =
      openDiskFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!opened.error.empty()) return {nullptr, opened.error};
  return {std::make_unique<WindowsSourceFile>(std::move(opened.handle), opened.identity), {}};
}

Opened<OutputFile> WindowsFileAccess::createOutput(const std::string& path) {
  OpenedHandle opened = openDiskFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (!opened.error.empty()) return {nullptr, opened.error};
  return {std::make_unique<WindowsOutputFile>(std::move(opened.handle), opened.identity), {}};
}

void WindowsFileAccess::removeFile(const std::string& path) {
  ::DeleteFileW(extendedPath(path).c_str());
}

}  // namespace tsmerge
