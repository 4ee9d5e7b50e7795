#pragma once

// The segment folders tools/make_shapes.sh made for this test run (TSMERGE_SHAPES_DIR), as its
// shapes.txt lists them.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace tsmerge::testing {

struct Shape {
  std::string name;
  std::filesystem::path folder;
  bool runsOn = false;  // the clock already runs on across the segments
  std::vector<std::filesystem::path> files;  // every file, in merge order (numeric names)
  // Files that are not whole transport streams, by name: "not-ts", "empty" or "partial-packet".
  std::vector<std::pair<std::string, std::string>> faulty;

  std::string faultOf(const std::filesystem::path& file) const {
    for (const auto& [faultyName, reason] : faulty) {
      if (faultyName == file.filename().string()) return reason;
    }
    return {};
  }
};

class ShapeFolders {
 public:
  static ShapeFolders load(const std::filesystem::path& root = TSMERGE_SHAPES_DIR) {
    ShapeFolders shapes;
    std::ifstream manifest(root / "shapes.txt");
    for (std::string line; std::getline(manifest, line);) {
      std::istringstream fields(line);
      Shape shape;
      std::string clock, faulty;
      if (!(fields >> shape.name >> clock >> faulty)) continue;
      shape.folder = root / shape.name;
      shape.runsOn = clock == "runs-on";
      if (faulty != "all") {
        std::istringstream entries(faulty);
        for (std::string entry; std::getline(entries, entry, ',');) {
          const auto colon = entry.find(':');
          shape.faulty.emplace_back(entry.substr(0, colon), entry.substr(colon + 1));
        }
      }
      std::vector<std::pair<std::size_t, std::string>> names;
      for (const auto& entry : std::filesystem::directory_iterator(shape.folder)) {
        const std::string n = entry.path().filename().string();
        names.emplace_back(n.size(), n);
      }
      std::sort(names.begin(), names.end());
      for (const auto& [length, n] : names) shape.files.push_back(shape.folder / n);
      shapes.shapes_.push_back(std::move(shape));
    }
    return shapes;
  }

  bool made() const { return !shapes_.empty(); }
  const std::vector<Shape>& all() const { return shapes_; }
  const Shape* find(const std::string& name) const {
    for (const Shape& s : shapes_) {
      if (s.name == name) return &s;
    }
    return nullptr;
  }

 private:
  std::vector<Shape> shapes_;
};

}  // namespace tsmerge::testing
