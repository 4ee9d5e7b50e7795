#pragma once

#include <string>
#include <vector>

namespace tsmerge {

// How folder texts are checked, split and joined with names on one platform. The merge job
// relies on these rules only, never on a separator of its own.
class PathRules {
 public:
  virtual ~PathRules() = default;
  // True when the text may name a folder at all (a drive path on Windows, an absolute path on
  // POSIX); otherwise the merge refuses it.
  virtual bool isFolderPath(const std::string& folderText) const = 0;
  // The text split at each separator: every separator ends one element (possibly empty), and what
  // follows the last one is a final element only when it is not empty. Fewer than two elements
  // means the text names a root.
  virtual std::vector<std::string> splitPath(const std::string& folderText) const = 0;
  // What the folder listing is handed for this folder text.
  virtual std::string folderPattern(const std::string& folderText) const = 0;
  // The path of a listed name: the folder text, one separator, the name.
  virtual std::string sourcePath(const std::string& folderText, const std::string& name) const = 0;
  // The output's folder: the output path up to and including its last separator; empty when it
  // has none.
  virtual std::string outputFolder(const std::string& outputPath) const = 0;
};

// Drive paths in a double-byte code page (GBK): "\" separates, and a byte of 0x80 or more begins a
// two-byte character whose second byte is never a separator.
const PathRules& windowsPathRules();

// POSIX paths: "/" separates (UTF-8 never holds 0x2F inside a character).
const PathRules& posixPathRules();

// The rules of the platform this program was built for.
const PathRules& platformPathRules();

// The Windows command line that opens a folder in the file manager: "explorer " and the folder,
// unquoted.
std::string explorerCommandLine(const std::string& folder);

}  // namespace tsmerge
