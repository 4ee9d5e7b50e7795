#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include "cli/cli.h"
#include "merge/messages.h"
#include "support/test_files.h"

namespace tsmerge {
namespace {

namespace fs = std::filesystem;
using testing::concatenatedSegments;
using testing::readFile;

struct ProgramRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the real program through the shell, so that limits such as `ulimit -n` apply to it.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(dir_ / "in"); }

  void write(const std::string& name, const std::string& text) {
    testing::writeFile(dir_ / "in" / name, text);
  }
  // The locale is English unless prefix sets it.
  ProgramRun run(const std::string& arguments, const std::string& prefix = "") {
    const std::string command = "export LC_ALL= LC_MESSAGES= LANG=C.UTF-8; " + prefix + " " +
                                TSMERGE_BINARY + " " + arguments + " >" +
                                (dir_ / "stdout").string() + " 2>" + (dir_ / "stderr").string() +
                                " </dev/null";
    const int status = std::system(command.c_str());
    ProgramRun result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(dir_ / "stdout");
    result.err = readFile(dir_ / "stderr");
    return result;
  }
  std::string in() const { return (dir_ / "in").string(); }
  std::string out() const { return (dir_ / "out.ts").string(); }

  testing::TempDir temp_{"tsmerge-cli"};
  const fs::path& dir_ = temp_.path();
};

TEST_F(CliTest, JoinsInNaturalOrderAndSaysWhatItDid) {
  for (int i = 1; i <= 12; ++i) write(std::to_string(i) + ".ts", "<" + std::to_string(i) + ">");
  const ProgramRun r = run("-o " + out() + " " + in());
  EXPECT_EQ(r.exitCode, kExitJoined) << r.err;
  EXPECT_EQ(readFile(out()), "<1><2><3><4><5><6><7><8><9><10><11><12>");
  EXPECT_EQ(r.out, "joined 12 files, 39 bytes, into " + out() + "\n");
  EXPECT_EQ(r.err, "");
  // Not a terminal: no progress line.
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
}

TEST_F(CliTest, ExitCodesAndMessages) {
  write("1.ts", "one");
  const struct {
    const char* what;
    std::string arguments;
    int exitCode;
    std::string inErr;
  } kCases[] = {
      {"no arguments", "", kExitUsage, "no output file"},
      {"no folder", "-o " + out(), kExitUsage, "no folder given"},
      {"two folders", "-o " + out() + " " + in() + " " + in(), kExitUsage, "more than one"},
      {"unknown option", "--frobnicate -o " + out() + " " + in(), kExitUsage, "unknown option"},
      {"-o without a name", in() + " -o", kExitUsage, "needs a file name"},
      {"empty folder text", "-o " + out() + " ''", kExitFailed, "'': not a folder path"},
      {"the root", "-o " + out() + " /", kExitFailed, "/: the root folder is refused"},
      {"missing folder", "-o " + out() + " " + in() + "/missing", kExitFailed,
       "nothing to join"},
      {"output in a missing folder", "-o " + dir_.string() + "/no/out.ts " + in(), kExitFailed,
       "cannot write " + dir_.string() + "/no/out.ts: "},
      {"output is a folder", "-f -o " + in() + " " + in(), kExitFailed,
       "cannot write " + in() + ": "},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const ProgramRun r = run(c.arguments);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(fs::exists(out()));
  }
}

TEST_F(CliTest, ARelativeFolderIsTakenFromTheWorkingFolder) {
  write("1.ts", "one");
  write("2.ts", "two");
  const ProgramRun r = run("-o " + out() + " in", "cd " + dir_.string() + " &&");
  EXPECT_EQ(r.exitCode, kExitJoined) << r.err;
  EXPECT_EQ(readFile(out()), "onetwo");
  EXPECT_EQ(r.out, "joined 2 files, 6 bytes, into " + out() + "\n");
}

TEST_F(CliTest, SpeaksChineseOnlyWhenTheLocaleSaysSo) {
  // gettext's order: LC_ALL, then LC_MESSAGES, then LANG; the first one set decides.
  const struct {
    const char* environment;
    bool chinese;
  } kCases[] = {
      {"LANG=C.UTF-8", false},
      {"LANG=en_US.UTF-8", false},
      {"LANG=zh_CN.UTF-8", true},
      {"LANG=zh_TW", true},
      {"LC_MESSAGES=zh_CN.UTF-8", true},
      {"LC_ALL=C.UTF-8 LANG=zh_CN.UTF-8", false},
      {"LC_MESSAGES=C LANG=zh_CN.UTF-8", false},
      {"LC_ALL=zh_CN.UTF-8 LC_MESSAGES=C", true},
      {"LANG=zu_ZA.UTF-8", false},
  };
  write("1.ts", "one");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.environment);
    const std::string prefix = std::string("export ") + c.environment + ";";
    const ProgramRun root = run("-o " + out() + " /", prefix);
    EXPECT_EQ(root.exitCode, kExitFailed);
    EXPECT_EQ(root.err.find(messages::kDriveRoot) != std::string::npos, c.chinese) << root.err;
    EXPECT_EQ(root.err.find("root folder is refused") != std::string::npos, !c.chinese)
        << root.err;

    const ProgramRun joined = run("-f -o " + out() + " " + in(), prefix);
    EXPECT_EQ(joined.exitCode, kExitJoined) << joined.err;
    // Success is told, never asked.
    EXPECT_EQ(joined.out.find(messages::kSucceeded), std::string::npos);
    EXPECT_EQ(joined.out.find("是否"), std::string::npos);
    EXPECT_EQ(joined.out.find("操作成功完成！") == 0, c.chinese) << joined.out;
    EXPECT_NE(joined.out.find(out()), std::string::npos) << joined.out;
  }
}

TEST_F(CliTest, HelpTeachesTheTool) {
  const ProgramRun r = run("--help");
  EXPECT_EQ(r.exitCode, kExitJoined);
  for (const char* word : {"Usage: tsmerge", "--force", "--fix-timeline", "Exit status",
                           "relative to the working folder", "LC_MESSAGES"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

TEST_F(CliTest, ReplacesAnExistingOutputOnlyWithForce) {
  write("1.ts", "new");
  testing::writeFile(out(), "precious");
  const ProgramRun refused = run("-o " + out() + " " + in());
  EXPECT_EQ(refused.exitCode, kExitUsage);
  EXPECT_NE(refused.err.find("--force"), std::string::npos);
  EXPECT_EQ(readFile(out()), "precious");
  const ProgramRun forced = run("--force -o " + out() + " " + in());
  EXPECT_EQ(forced.exitCode, kExitJoined) << forced.err;
  EXPECT_EQ(readFile(out()), "new");
}

TEST_F(CliTest, FilesLeftOutAreNamedWithExitCode3) {
  write("1.ts", "one");
  write("3.ts", "three");
  ASSERT_EQ(::mkfifo((dir_ / "in" / "2.ts").c_str(), 0600), 0);
  const ProgramRun r = run("-o " + out() + " " + in());
  EXPECT_EQ(r.exitCode, kExitPartial);
  EXPECT_EQ(readFile(out()), "onethree");
  EXPECT_EQ(r.out, "joined 2 files, 8 bytes, into " + out() + "\n");
  EXPECT_NE(r.err.find("left out " + in() + "/2.ts: not a regular file"), std::string::npos)
      << r.err;
}

TEST_F(CliTest, OutputInsideTheFolderUnderAListedNameIsNotReadIntoItself) {
  write("1.ts", "one");
  write("2.ts", "two");
  write("all.ts", "old output");
  const std::string target = in() + "/all.ts";
  const ProgramRun r = run("-f -o " + target + " " + in());
  EXPECT_EQ(r.exitCode, kExitJoined) << r.err;
  EXPECT_EQ(readFile(target), "onetwo");
}

TEST_F(CliTest, ManyMoreFilesThanOpenDescriptorsAllowed) {
  std::string expected;
  for (int i = 1; i <= 2000; ++i) {
    write(std::to_string(i) + ".ts", std::to_string(i) + ",");
    expected += std::to_string(i) + ",";
  }
  const ProgramRun r = run("-o " + out() + " " + in(), "ulimit -n 64;");
  EXPECT_EQ(r.exitCode, kExitJoined) << r.err;
  EXPECT_EQ(readFile(out()), expected);
}

TEST_F(CliTest, BundledSamplesJoinToTheirConcatenation) {
  const std::string expected = concatenatedSegments(TSMERGE_SAMPLES);
  ASSERT_GT(expected.size(), 12u * 188);
  const ProgramRun r = run("-o " + out() + " " + TSMERGE_SAMPLES);
  EXPECT_EQ(r.exitCode, kExitJoined) << r.err;
  EXPECT_TRUE(readFile(out()) == expected);
}

TEST_F(CliTest, FixTimelineRewritesOnlyInPlace) {
  const std::string plain = concatenatedSegments(TSMERGE_SAMPLES);
  const ProgramRun r = run("--fix-timeline -o " + out() + " " + TSMERGE_SAMPLES);
  EXPECT_EQ(r.exitCode, kExitJoined) << r.err;
  const std::string fixed = readFile(out());
  ASSERT_EQ(fixed.size(), plain.size());
  // The samples' clocks restart in every segment, so the correction must change something, and
  // only inside packets: every sync byte stays where it was.
  EXPECT_NE(fixed, plain);
  for (std::size_t at = 0; at < fixed.size(); at += 188) ASSERT_EQ(fixed[at], 0x47) << at;
}

TEST(CliOptions, ParsesOptionsAnywhere) {
  const CliOptions o = parseCliOptions({"/in", "--force", "--output=/o.ts", "--fix-timeline"});
  EXPECT_TRUE(o.usageError.empty()) << o.usageError;
  EXPECT_EQ(o.folder, "/in");
  EXPECT_EQ(o.output, "/o.ts");
  EXPECT_TRUE(o.force);
  EXPECT_EQ(o.timeline, TimelineMode::FixTimeline);
  const CliOptions dashed = parseCliOptions({"-o", "x", "--", "-folder"});
  EXPECT_EQ(dashed.folder, "-folder");
}

}  // namespace
}  // namespace tsmerge
