#include "merge/path_rules.h"

#include <gtest/gtest.h>

namespace tsmerge {
namespace {

// "\xB0\x5C" is one GBK character whose second byte is 0x5C, the code of "\".
const std::string kGbkWithBackslash = "\xB0\x5C";

TEST(WindowsPathRules, FolderCheckAndRootCheck) {
  const struct {
    std::string text;
    bool isFolderPath;
    std::size_t parts;  // elements of the split, when the first check passes
  } kCases[] = {
      {"D:", false, 0},
      {"\\\\host\\share", false, 0},
      {"", false, 0},
      {"D:/clips", false, 0},
      {"D:\\", true, 1},
      {"D:\\\\", true, 2},
      {"D:\\x", true, 2},
      {"D:\\x\\", true, 2},
      {"D:\\clips\\", true, 2},
      {"D:\\a\\b", true, 3},
      {"?:\\", true, 1},  // byte 1 may be anything
      // The 0x5C inside the double-byte character does not split.
      {"D:\\" + kGbkWithBackslash, true, 2},
      {"D:\\a" + kGbkWithBackslash + "b\\c", true, 3},
  };
  const PathRules& rules = windowsPathRules();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(rules.isFolderPath(c.text), c.isFolderPath);
    if (c.isFolderPath) {
      EXPECT_EQ(rules.splitPath(c.text).size(), c.parts);
    }
  }
}

TEST(WindowsPathRules, SplitKeepsEmptyElements) {
  const std::vector<std::string> expected = {"D:", "", "x"};
  EXPECT_EQ(windowsPathRules().splitPath("D:\\\\x"), expected);
}

TEST(WindowsPathRules, ListingPatternSourcePathAndOutputFolder) {
  const struct {
    std::string folder;
    std::string pattern;
    std::string source;  // of the name 1.ts
  } kCases[] = {
      {"D:\\clips", "D:\\clips\\*.*", "D:\\clips\\1.ts"},
      {"D:\\clips\\", "D:\\clips\\*.*", "D:\\clips\\\\1.ts"},
      {"D:\\\\", "D:\\\\*.*", "D:\\\\\\1.ts"},
      // The final byte alone decides: a last double-byte character ending in 0x5C counts as "\".
      {"D:\\" + kGbkWithBackslash, "D:\\" + kGbkWithBackslash + "*.*",
       "D:\\" + kGbkWithBackslash + "\\1.ts"},
  };
  const PathRules& rules = windowsPathRules();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(rules.folderPattern(c.folder), c.pattern);
    EXPECT_EQ(rules.sourcePath(c.folder, "1.ts"), c.source);
  }
  EXPECT_EQ(rules.outputFolder("D:\\out\\all.ts"), "D:\\out\\");
  EXPECT_EQ(rules.outputFolder("D:\\all.ts"), "D:\\");
  // The last single-byte "\" is the separator, not the 0x5C inside a character.
  EXPECT_EQ(rules.outputFolder("D:\\out\\" + kGbkWithBackslash + ".ts"), "D:\\out\\");
  EXPECT_EQ(explorerCommandLine(rules.outputFolder("D:\\all.ts")), "explorer D:\\");
}

TEST(PosixPathRules, FolderCheckAndRootCheck) {
  const struct {
    std::string text;
    bool isFolderPath;
    std::size_t parts;
  } kCases[] = {
      {"", false, 0},
      {"clips", false, 0},
      {"./clips", false, 0},
      {"~/clips", false, 0},
      {" /clips", false, 0},
      {"/", true, 1},
      {"//", true, 2},
      {"/clips", true, 2},
      {"/clips/", true, 2},
      {"/home/user/录像", true, 4},
      {"/a\nb", true, 2},  // taken exactly as typed
  };
  const PathRules& rules = posixPathRules();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(rules.isFolderPath(c.text), c.isFolderPath);
    if (c.isFolderPath) {
      EXPECT_EQ(rules.splitPath(c.text).size(), c.parts);
    }
  }
}

TEST(PosixPathRules, SourcePathAndOutputFolder) {
  const PathRules& rules = posixPathRules();
  EXPECT_EQ(rules.folderPattern("/clips"), "/clips");
  EXPECT_EQ(rules.sourcePath("/clips", "1.ts"), "/clips/1.ts");
  EXPECT_EQ(rules.sourcePath("/clips/", "1.ts"), "/clips//1.ts");
  EXPECT_EQ(rules.outputFolder("/out/all.ts"), "/out/");
  EXPECT_EQ(rules.outputFolder("/all.ts"), "/");
  EXPECT_EQ(rules.outputFolder("all.ts"), "");
}

}  // namespace
}  // namespace tsmerge
