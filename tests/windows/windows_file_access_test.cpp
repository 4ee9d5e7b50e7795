// The Windows file access and path rules on live folders, run under Wine (or on Windows).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_host.h"
#include "merge/merge_job.h"
#include "merge/path_rules.h"
#include "platform/windows_file_access.h"
#include "platform/windows_text.h"

namespace tsmerge {
namespace {

using windows::narrow;
using windows::widen;

// UTF-8 names the system's code page may not hold: "分段" (segments), "合并" (joined).
const std::string kSegments = "\xE5\x88\x86\xE6\xAE\xB5";
const std::string kJoined = "\xE5\x90\x88\xE5\xB9\xB6";

// A fresh folder under the system's temporary folder, as a UTF-8 drive path without a final "\",
// removed with its files (one level of sub-folders) at the end.
class LiveFolder {
 public:
  explicit LiveFolder(const std::string& leaf) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    std::string base = narrow(temp, length);
    if (!base.empty() && base.back() == '\\') base.pop_back();
    path_ = base + "\\tsmerge-" + std::to_string(::GetCurrentProcessId()) + "-" + leaf;
    ::CreateDirectoryW(widen(path_).c_str(), nullptr);
  }
  ~LiveFolder() { removeTree(windows::extendedPath(path_)); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  static void removeTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          removeTree(child);
        } else {
          ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
          ::DeleteFileW(child.c_str());
        }
      } while (::FindNextFileW(search, &entry));
      ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
  }
  std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes) {
  const HANDLE file = ::CreateFileW(windows::extendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string readFile(const std::string& path) {
  const HANDLE file = ::CreateFileW(windows::extendedPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char piece[4096];
  DWORD got = 0;
  while (::ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) bytes.append(piece, got);
  ::CloseHandle(file);
  return bytes;
}

bool exists(const std::string& path) {
  return ::GetFileAttributesW(windows::extendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string readAll(SourceFile& file) {
  std::string bytes;
  std::vector<std::uint8_t> piece(7);
  for (;;) {
    const ReadResult got = file.read(piece);
    EXPECT_TRUE(got.ok()) << got.error;
    if (!got.ok() || got.bytes == 0) return bytes;
    bytes.append(reinterpret_cast<const char*>(piece.data()), got.bytes);
  }
}

TEST(WindowsFileAccess, ListsFilesWithChineseNamesButNotSubFolders) {
  LiveFolder folder("list-" + kSegments);
  writeFile(folder / (kSegments + "1.ts"), "a");
  writeFile(folder / "2.ts", "b");
  writeFile(folder / "no-dot", "c");
  ::CreateDirectoryW(widen(folder / "sub").c_str(), nullptr);
  writeFile(folder / "sub\\inside.ts", "d");

  WindowsFileAccess files;
  std::vector<std::string> names =
      files.listFolder(windowsPathRules().folderPattern(folder.path()));
  std::sort(names.begin(), names.end());
  const std::vector<std::string> expected = {"2.ts", "no-dot", kSegments + "1.ts"};
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(files.listFolder(windowsPathRules().folderPattern(folder / "missing")).empty());
}

TEST(WindowsFileAccess, IdentityFollowsTheFileNotItsSpelling) {
  LiveFolder folder("identity");
  writeFile(folder / "Clip.ts", "one");
  writeFile(folder / "other.ts", "two");
  WindowsFileAccess files;

  const struct {
    const char* what;
    std::string spelling;
  } kSameFile[] = {
      {"doubled separator", folder.path() + "\\\\Clip.ts"},
      {"other case", folder / "CLIP.TS"},
      {"slash and dot", folder.path() + "/./Clip.ts"},
      {"through ..", folder.path() + "\\sub\\..\\Clip.ts"},
  };
  Opened<SourceFile> plain = files.openSource(folder / "Clip.ts");
  ASSERT_TRUE(plain.file) << plain.error;
  for (const auto& row : kSameFile) {
    SCOPED_TRACE(row.what);
    Opened<SourceFile> same = files.openSource(row.spelling);
    ASSERT_TRUE(same.file) << same.error;
    EXPECT_EQ(same.file->identity(), plain.file->identity());
  }
  Opened<SourceFile> other = files.openSource(folder / "other.ts");
  ASSERT_TRUE(other.file) << other.error;
  EXPECT_NE(other.file->identity(), plain.file->identity());

  // The output's identity is that of the file it writes, so a source can be told from it.
  Opened<OutputFile> output = files.createOutput(folder / "other.ts");
  ASSERT_TRUE(output.file) << output.error;
  EXPECT_EQ(output.file->identity(), other.file->identity());
  EXPECT_EQ(output.file->close(), "");
}

TEST(WindowsFileAccess, ReadsReadOnlySourcesAndLetsOthersWriteAndDeleteThem) {
  LiveFolder folder("read-only");
  const std::string path = folder / "1.ts";
  writeFile(path, "read-only bytes");
  ASSERT_TRUE(::SetFileAttributesW(windows::extendedPath(path).c_str(), FILE_ATTRIBUTE_READONLY));
  WindowsFileAccess files;
  Opened<SourceFile> source = files.openSource(path);
  ASSERT_TRUE(source.file) << source.error;
  EXPECT_EQ(readAll(*source.file), "read-only bytes");

  // While it is open, another program may still open it for writing and delete it.
  writeFile(folder / "2.ts", "x");
  Opened<SourceFile> held = files.openSource(folder / "2.ts");
  ASSERT_TRUE(held.file) << held.error;
  const HANDLE writer = ::CreateFileW(windows::extendedPath(folder / "2.ts").c_str(),
                                      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                      FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
  EXPECT_TRUE(::DeleteFileW(windows::extendedPath(folder / "2.ts").c_str()));
}

TEST(WindowsFileAccess, RefusesWhatIsNotARegularFile) {
  LiveFolder folder("refused");
  ::CreateDirectoryW(widen(folder / "sub").c_str(), nullptr);
  WindowsFileAccess files;
  const struct {
    const char* what;
    std::string path;
  } kCases[] = {
      {"missing file", folder / "missing.ts"},
      {"folder", folder / "sub"},
      {"device name outside a folder", "NUL"},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(row.what);
    const Opened<SourceFile> opened = files.openSource(row.path);
    EXPECT_FALSE(opened.file);
    EXPECT_FALSE(opened.error.empty());
  }
  // In a folder, "nul" is an ordinary file name.
  writeFile(folder / "nul", "not a device");
  const Opened<SourceFile> named = files.openSource(folder / "nul");
  ASSERT_TRUE(named.file) << named.error;
  EXPECT_EQ(readAll(*named.file), "not a device");
}

TEST(WindowsFileAccess, PathsLongerThan260Characters) {
  LiveFolder folder("long");
  std::string deep = folder.path();
  for (int level = 0; level < 6; ++level) {
    deep += "\\" + std::string(50, static_cast<char>('a' + level));
    ASSERT_TRUE(::CreateDirectoryW(windows::extendedPath(deep).c_str(), nullptr));
  }
  ASSERT_GT(deep.size(), 300u);
  writeFile(deep + "\\1.ts", "deep");
  WindowsFileAccess files;
  EXPECT_EQ(files.listFolder(windowsPathRules().folderPattern(deep)),
            std::vector<std::string>{"1.ts"});
  Opened<SourceFile> source = files.openSource(deep + "\\1.ts");
  ASSERT_TRUE(source.file) << source.error;
  EXPECT_EQ(readAll(*source.file), "deep");
}

// The merge job with the Windows rules and file access on a folder whose path and names hold
// Chinese characters: every "\" of the UTF-8 text separates, and every file opens.
class WindowsMergeTest : public ::testing::Test {
 protected:
  MergeResult merge(const std::string& folderText, const std::string& output) {
    host_.folder = folderText;
    host_.outputAnswer = OutputChoice{output, true};
    MergeJob job(host_, files_, windowsPathRules());
    job.createBuckets();
    return job.runMerge();
  }
  LiveFolder folder_{kSegments};
  LiveFolder outFolder_{kJoined};
  testing::FakeHost host_;
  WindowsFileAccess files_;
};

TEST_F(WindowsMergeTest, JoinsAChineseFolderInNaturalOrder) {
  for (int i = 1; i <= 12; ++i) {
    const std::string number = std::to_string(i);
    writeFile(folder_ / (kSegments + number + ".ts"), "<" + number + ">");
  }
  ::CreateDirectoryW(widen(folder_ / "sub").c_str(), nullptr);
  const struct {
    const char* what;
    std::string folderText;
  } kCases[] = {
      {"as the folder browser gives it", folder_.path()},
      {"with a final \\", folder_.path() + "\\"},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(row.what);
    const std::string output = outFolder_ / (kJoined + ".ts");
    const MergeResult result = merge(row.folderText, output);
    EXPECT_EQ(result.outcome, MergeResult::Outcome::Joined);
    EXPECT_EQ(readFile(output), "<1><2><3><4><5><6><7><8><9><10><11><12>");
    EXPECT_EQ(windowsPathRules().outputFolder(output), outFolder_.path() + "\\");
  }
}

TEST_F(WindowsMergeTest, AFileHeldAgainstReadingIsLeftOutAndNamed) {
  writeFile(folder_ / "1.ts", "<1>");
  writeFile(folder_ / "2.ts", "<2>");
  writeFile(folder_ / "3.ts", "<3>");
  const HANDLE holder = ::CreateFileW(windows::extendedPath(folder_ / "2.ts").c_str(),
                                      GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const std::string output = outFolder_ / "out.ts";
  const MergeResult result = merge(folder_.path(), output);
  ::CloseHandle(holder);

  EXPECT_EQ(result.outcome, MergeResult::Outcome::Partial);
  EXPECT_EQ(readFile(output), "<1><3>");
  ASSERT_EQ(result.leftOut.size(), 1u);
  EXPECT_EQ(result.leftOut[0].name, "2.ts");
  EXPECT_FALSE(result.leftOut[0].reason.empty());
}

TEST_F(WindowsMergeTest, NothingToJoinLeavesNoOutput) {
  const std::string output = outFolder_ / "out.ts";
  const MergeResult result = merge(folder_.path(), output);
  EXPECT_EQ(result.outcome, MergeResult::Outcome::Failed);
  EXPECT_FALSE(exists(output));
}

}  // namespace
}  // namespace tsmerge
