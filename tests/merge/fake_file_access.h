#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "merge/file_access.h"

namespace tsmerge::testing {

// An in-memory file system that fails on demand. Paths are plain keys; a folder's listing is every
// file whose path is folder + separator + name.
class FakeFileAccess final : public FileAccess {
 public:
  struct File {
    std::vector<std::uint8_t> bytes;
    std::uint64_t inode = 0;
    bool folder = false;
    std::string openError;                    // the open fails with this reason
    std::optional<std::size_t> readErrorAt;   // reads fail once this many bytes were read
  };

  explicit FakeFileAccess(char separator = '/') : separator_(separator) {}

  File& addFile(const std::string& path, std::vector<std::uint8_t> bytes) {
    File& file = files_[path];
    file.bytes = std::move(bytes);
    file.inode = ++lastInode_;
    return file;
  }
  File& addFile(const std::string& path, const std::string& text) {
    return addFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  void addFolder(const std::string& path) {
    File& file = files_[path];
    file.folder = true;
    file.inode = ++lastInode_;
  }
  // A second name for an existing file (a hard link).
  void link(const std::string& existing, const std::string& alias) { files_[alias] = files_.at(existing); }

  bool exists(const std::string& path) const { return files_.count(path) != 0; }
  const std::vector<std::uint8_t>& bytes(const std::string& path) const { return files_.at(path).bytes; }
  std::string text(const std::string& path) const {
    const auto& b = bytes(path);
    return {b.begin(), b.end()};
  }

  // Failures of the output.
  std::string createError;
  std::optional<std::size_t> writeErrorAt;  // writes fail once the output holds this many bytes
  std::string closeError;

  // What happened.
  std::vector<std::string> listed;  // patterns handed to listFolder
  std::vector<std::string> opened;  // paths handed to openSource
  std::vector<std::string> removed;
  int openSources = 0;
  int mostOpenSources = 0;

  std::vector<std::string> listFolder(const std::string& pattern) override {
    listed.push_back(pattern);
    std::string prefix = pattern;
    if (separator_ == '\\') {
      prefix = pattern.substr(0, pattern.size() - 3);  // drop "*.*"
    } else if (prefix.empty() || prefix.back() != separator_) {
      prefix += separator_;
    }
    std::vector<std::string> names;
    for (const auto& [path, file] : files_) {
      if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string name = path.substr(prefix.size());
      if (name.find(separator_) != std::string::npos || file.folder) continue;
      names.push_back(name);
    }
    // A listing order unlike the merge order.
    std::reverse(names.begin(), names.end());
    return names;
  }

  Opened<SourceFile> openSource(const std::string& path) override {
    opened.push_back(path);
    const std::string key = normalise(path);
    auto it = files_.find(key);
    if (it == files_.end()) return {nullptr, "no such file or directory"};
    if (it->second.folder) return {nullptr, "not a regular file"};
    if (!it->second.openError.empty()) return {nullptr, it->second.openError};
    return {std::make_unique<Source>(*this, it->second), {}};
  }

  Opened<OutputFile> createOutput(const std::string& path) override {
    if (!createError.empty()) return {nullptr, createError};
    File& file = files_[path];
    if (file.folder) return {nullptr, "is a directory"};
    if (file.inode == 0) file.inode = ++lastInode_;
    file.bytes.clear();
    return {std::make_unique<Output>(*this, file), {}};
  }

  void removeFile(const std::string& path) override {
    removed.push_back(path);
    files_.erase(path);
  }

 private:
  class Source final : public SourceFile {
   public:
    Source(FakeFileAccess& fs, File& file) : fs_(fs), file_(file) {
      fs_.mostOpenSources = std::max(fs_.mostOpenSources, ++fs_.openSources);
    }
    ~Source() override { --fs_.openSources; }
    FileIdentity identity() const override { return {1, file_.inode}; }
    ReadResult read(std::span<std::uint8_t> buffer) override {
      std::size_t end = file_.bytes.size();
      if (file_.readErrorAt) {
        if (position_ >= *file_.readErrorAt) return {0, "input/output error"};
        end = std::min(end, *file_.readErrorAt);
      }
      // Short reads, as a pipe or a network file system may give them.
      const std::size_t n = std::min({buffer.size(), end - position_, kMostPerRead});
      std::copy_n(file_.bytes.begin() + static_cast<std::ptrdiff_t>(position_), n, buffer.begin());
      position_ += n;
      return {n, {}};
    }

   private:
    static constexpr std::size_t kMostPerRead = 1000003;
    FakeFileAccess& fs_;
    File& file_;
    std::size_t position_ = 0;
  };

  class Output final : public OutputFile {
   public:
    Output(FakeFileAccess& fs, File& file) : fs_(fs), file_(file) {}
    FileIdentity identity() const override { return {1, file_.inode}; }
    std::string write(std::span<const std::uint8_t> data) override {
      if (fs_.writeErrorAt) {
        const std::size_t room = *fs_.writeErrorAt - std::min(*fs_.writeErrorAt, file_.bytes.size());
        if (data.size() > room) {
          file_.bytes.insert(file_.bytes.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(room));
          return "no space left on device";
        }
      }
      file_.bytes.insert(file_.bytes.end(), data.begin(), data.end());
      return {};
    }
    std::string truncate(std::uint64_t size) override {
      file_.bytes.resize(static_cast<std::size_t>(size));
      return {};
    }
    std::string close() override { return fs_.closeError; }

   private:
    FakeFileAccess& fs_;
    File& file_;
  };

  // "//" and "\\" stand for one separator, as the file systems take them.
  std::string normalise(const std::string& path) const {
    std::string result;
    for (char c : path) {
      if (c == separator_ && !result.empty() && result.back() == separator_) continue;
      result += c;
    }
    return result;
  }

  char separator_;
  std::map<std::string, File> files_;
  std::uint64_t lastInode_ = 0;
};

}  // namespace tsmerge::testing
