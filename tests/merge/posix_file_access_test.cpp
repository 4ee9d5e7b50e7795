#include "platform/posix_file_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "support/test_files.h"

namespace tsmerge {
namespace {

namespace fs = std::filesystem;

class PosixFileAccessTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return temp_ / name; }
  void write(const std::string& name, const std::string& text) const {
    testing::writeFile(path(name), text);
  }
  std::string read(const std::string& name) const { return testing::readFile(path(name)); }

  testing::TempDir temp_{"tsmerge-fa"};
  const std::string dir_ = temp_.path().string();
  PosixFileAccess files_;
};

TEST_F(PosixFileAccessTest, ListsEverythingButFolders) {
  write("1.ts", "a");
  write(".hidden", "b");
  write("ro.ts", "c");
  fs::permissions(path("ro.ts"), fs::perms::owner_read);
  fs::create_directory(path("sub"));
  write("sub/inner.ts", "d");
  fs::create_directory_symlink(path("sub"), path("linked-folder"));
  fs::create_symlink(path("1.ts"), path("linked-file"));
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);

  auto names = files_.listFolder(dir_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "1.ts", "fifo", "linked-file", "ro.ts"}));
  EXPECT_TRUE(files_.listFolder(path("missing")).empty());
}

TEST_F(PosixFileAccessTest, OpensReadOnlyFilesAndRefusesWhatIsNotARegularFile) {
  write("ro.ts", "read only");
  fs::permissions(path("ro.ts"), fs::perms::owner_read);
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  fs::create_directory(path("sub"));

  auto readOnly = files_.openSource(path("ro.ts"));
  ASSERT_TRUE(readOnly.file) << readOnly.error;
  std::uint8_t buffer[64];
  const ReadResult r = readOnly.file->read(buffer);
  EXPECT_EQ(std::string(buffer, buffer + r.bytes), "read only");
  EXPECT_EQ(readOnly.file->read(buffer).bytes, 0u);

  // Opening a FIFO without a writer would block a plain open; it must come back at once.
  for (const char* name : {"fifo", "sub"}) {
    SCOPED_TRACE(name);
    const auto refused = files_.openSource(path(name));
    EXPECT_FALSE(refused.file);
    EXPECT_EQ(refused.error, "not a regular file");
  }
  EXPECT_FALSE(files_.openSource("/dev/zero").file);
  const auto missing = files_.openSource(path("missing"));
  EXPECT_FALSE(missing.file);
  EXPECT_FALSE(missing.error.empty());
}

TEST_F(PosixFileAccessTest, IdentityIgnoresSpellingAndFollowsHardLinks) {
  write("a.ts", "x");
  write("b.ts", "x");
  fs::create_hard_link(path("a.ts"), path("hard.ts"));
  const auto a = files_.openSource(path("a.ts"));
  const auto a2 = files_.openSource(dir_ + "//./a.ts");
  const auto hard = files_.openSource(path("hard.ts"));
  const auto b = files_.openSource(path("b.ts"));
  ASSERT_TRUE(a.file && a2.file && hard.file && b.file);
  EXPECT_EQ(a.file->identity(), a2.file->identity());
  EXPECT_EQ(a.file->identity(), hard.file->identity());
  EXPECT_FALSE(a.file->identity() == b.file->identity());
}

TEST_F(PosixFileAccessTest, OutputIsEmptiedWrittenAndCutBack) {
  write("out.ts", "old contents");
  auto out = files_.createOutput(path("out.ts"));
  ASSERT_TRUE(out.file) << out.error;
  const std::string first = "first", second = "second";
  EXPECT_EQ(out.file->write(std::span(reinterpret_cast<const std::uint8_t*>(first.data()), first.size())), "");
  EXPECT_EQ(out.file->write(std::span(reinterpret_cast<const std::uint8_t*>(second.data()), second.size())), "");
  EXPECT_EQ(out.file->truncate(5), "");
  EXPECT_EQ(out.file->write(std::span(reinterpret_cast<const std::uint8_t*>(second.data()), 3)), "");
  EXPECT_EQ(out.file->close(), "");
  EXPECT_EQ(out.file->close(), "");
  EXPECT_EQ(read("out.ts"), "firstsec");
}

TEST_F(PosixFileAccessTest, OutputThatCannotBeCreatedSaysWhy) {
  fs::create_directory(path("folder"));
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  for (const std::string& target : {path("folder"), path("fifo"), path("missing/out.ts")}) {
    SCOPED_TRACE(target);
    const auto out = files_.createOutput(target);
    EXPECT_FALSE(out.file);
    EXPECT_FALSE(out.error.empty());
  }
}

}  // namespace
}  // namespace tsmerge
