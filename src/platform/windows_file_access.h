#pragma once

#include "merge/file_access.h"

namespace tsmerge {

// File access through the system's wide-character calls: paths are UTF-8 inside the program and
// UTF-16 towards the system, so that every name opens whatever the system's code page.
class WindowsFileAccess final : public FileAccess {
 public:
  std::vector<std::string> listFolder(const std::string& pattern) override;
  Opened<SourceFile> openSource(const std::string& path) override;
  Opened<OutputFile> createOutput(const std::string& path) override;
  void removeFile(const std::string& path) override;
};

}  // namespace tsmerge
