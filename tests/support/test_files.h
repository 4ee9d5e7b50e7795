#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace tsmerge::testing {

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "tsmerge") {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The bundled segments 1.ts … 12.ts of folder, back to back: what a plain join must give.
inline std::string concatenatedSegments(const std::filesystem::path& folder, int count = 12) {
  std::string all;
  for (int i = 1; i <= count; ++i) all += readFile(folder / (std::to_string(i) + ".ts"));
  return all;
}

}  // namespace tsmerge::testing
