#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tsmerge {

// Identity of a file on its file system, whatever path spells it (device and inode on POSIX).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Result of one read: the bytes read, or a short lower-case reason ("input/output error").
struct ReadResult {
  std::size_t bytes = 0;
  std::string error;
  bool ok() const { return error.empty(); }
};

// A source file opened for reading only.
class SourceFile {
 public:
  virtual ~SourceFile() = default;
  virtual FileIdentity identity() const = 0;
  // Reads up to buffer.size() bytes at the current position; 0 bytes and no error at the end.
  virtual ReadResult read(std::span<std::uint8_t> buffer) = 0;
};

// The output file, written strictly front to back.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual FileIdentity identity() const = 0;
  // Writes all of data; returns the reason when it could not, else an empty text.
  virtual std::string write(std::span<const std::uint8_t> data) = 0;
  // Cuts the file back to its first size bytes and writes on from there; returns the reason when
  // it could not, else an empty text.
  virtual std::string truncate(std::uint64_t size) = 0;
  // Closes the file; returns the reason when closing failed (deferred write errors), else empty.
  virtual std::string close() = 0;
};

template <class File>
struct Opened {
  std::unique_ptr<File> file;
  std::string error;  // why file is null
};

// Everything the merge job needs from the file system. One implementation per platform, and
// fakes in the tests that fail on demand.
class FileAccess {
 public:
  virtual ~FileAccess() = default;
  // Names of every entry matched by the listing pattern that is not a folder, in the file
  // system's order; empty when there is none or the folder cannot be listed.
  virtual std::vector<std::string> listFolder(const std::string& pattern) = 0;
  // Opens a regular file for reading only; anything else (FIFO, socket, device, folder) is refused
  // without blocking.
  virtual Opened<SourceFile> openSource(const std::string& path) = 0;
  // Creates the file empty, or empties it when it exists, and opens it for writing.
  virtual Opened<OutputFile> createOutput(const std::string& path) = 0;
  // Removes the file; a failure is ignored.
  virtual void removeFile(const std::string& path) = 0;
};

}  // namespace tsmerge
