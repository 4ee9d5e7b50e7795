#include "merge/path_rules.h"

namespace tsmerge {
namespace {

// A byte of 0x80 or more begins a two-byte character in the Windows double-byte code page.
bool beginsDoubleByte(unsigned char byte) { return byte >= 0x80; }

// Splits at each single-byte separator; a final element is kept only when it is not empty.
std::vector<std::string> splitAt(const std::string& text, char separator, bool doubleByte) {
  std::vector<std::string> parts;
  std::string element;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (doubleByte && beginsDoubleByte(byte) && i + 1 < text.size()) {
      element += text[i];
      element += text[++i];
    } else if (text[i] == separator) {
      parts.push_back(std::move(element));
      element.clear();
    } else {
      element += text[i];
    }
  }
  if (!element.empty()) parts.push_back(std::move(element));
  return parts;
}

// Position of the last single-byte separator, or npos.
std::size_t lastSeparator(const std::string& text, char separator, bool doubleByte) {
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (doubleByte && beginsDoubleByte(byte)) {
      ++i;
    } else if (text[i] == separator) {
      last = i;
    }
  }
  return last;
}

class WindowsPathRules final : public PathRules {
 public:
  // Bytes 2 and 3 must be ":\"; byte 1 may be anything.
  bool isFolderPath(const std::string& text) const override {
    return text.size() >= 3 && text[1] == ':' && text[2] == '\\';
  }
  std::vector<std::string> splitPath(const std::string& text) const override {
    return splitAt(text, '\\', true);
  }
  // The final byte alone decides whether a "\" is added, so a last double-byte character whose
  // second byte is 0x5C counts as a final "\".
  std::string folderPattern(const std::string& text) const override {
    std::string pattern = text;
    if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
    return pattern + "*.*";
  }
  // The "\" is added even after a final "\": the file system reads "\\" as one separator.
  std::string sourcePath(const std::string& text, const std::string& name) const override {
    return text + "\\" + name;
  }
  std::string outputFolder(const std::string& outputPath) const override {
    const std::size_t last = lastSeparator(outputPath, '\\', true);
    return last == std::string::npos ? std::string() : outputPath.substr(0, last + 1);
  }
};

class PosixPathRules final : public PathRules {
 public:
  bool isFolderPath(const std::string& text) const override {
    return !text.empty() && text.front() == '/';
  }
  std::vector<std::string> splitPath(const std::string& text) const override {
    return splitAt(text, '/', false);
  }
  // The folder is listed as typed; no pattern is needed.
  std::string folderPattern(const std::string& text) const override { return text; }
  std::string sourcePath(const std::string& text, const std::string& name) const override {
    return text + "/" + name;
  }
  std::string outputFolder(const std::string& outputPath) const override {
    const std::size_t last = lastSeparator(outputPath, '/', false);
    return last == std::string::npos ? std::string() : outputPath.substr(0, last + 1);
  }
};

}  // namespace

const PathRules& windowsPathRules() {
  static const WindowsPathRules rules;
  return rules;
}

const PathRules& posixPathRules() {
  static const PosixPathRules rules;
  return rules;
}

const PathRules& platformPathRules() {
#ifdef _WIN32
  return windowsPathRules();
#else
  return posixPathRules();
#endif
}

std::string explorerCommandLine(const std::string& folder) { return "explorer " + folder; }

}  // namespace tsmerge
