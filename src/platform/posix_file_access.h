#pragma once

#include "merge/file_access.h"

namespace tsmerge {

// File access through POSIX calls: the one place that includes the system's headers.
class PosixFileAccess final : public FileAccess {
 public:
  std::vector<std::string> listFolder(const std::string& pattern) override;
  Opened<SourceFile> openSource(const std::string& path) override;
  Opened<OutputFile> createOutput(const std::string& path) override;
  void removeFile(const std::string& path) override;
};

}  // namespace tsmerge
