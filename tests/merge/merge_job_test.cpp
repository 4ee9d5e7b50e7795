#include "merge/merge_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "fake_file_access.h"
#include "fake_host.h"
#include "merge/messages.h"
#include "merge/path_rules.h"
#include "merge/timestamp_rewriter.h"

namespace tsmerge {
namespace {

using testing::FakeFileAccess;
using testing::FakeHost;
using Outcome = MergeResult::Outcome;

// Records how the merge calls it and marks every piece it is handed, so the output shows which
// bytes went through it.
class RecordingRewriter final : public TimestampRewriter {
 public:
  void resetTimelineState() override { calls.push_back("reset"); }
  void beginFile(const std::string& name) override { calls.push_back("begin " + name); }
  void correctBuffer(std::span<std::uint8_t> piece, bool startsFile) override {
    calls.push_back((startsFile ? "first " : "more ") + std::to_string(piece.size()));
    piece[piece.size() - 1] = 'R';
  }
  void finishMerge() override { calls.push_back("finish"); }
  std::vector<std::string> calls;
};

std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
  return bytes;
}

struct Fixture {
  explicit Fixture(const PathRules& rules = posixPathRules(), char separator = '/')
      : files(separator), job(host, files, rules, &rewriter) {
    job.createBuckets();
    host.folder = "/in";
  }
  FakeHost host;
  FakeFileAccess files;
  RecordingRewriter rewriter;
  MergeJob job;
};

TEST(MergeJob, RefusesFolderTextsThatAreNotAFolderOrARoot) {
  const struct {
    bool windows;
    std::string text;
    Outcome outcome;
  } kCases[] = {
      {false, "", Outcome::BadFolderPath},
      {false, "in", Outcome::BadFolderPath},
      {false, "./in", Outcome::BadFolderPath},
      {false, "/", Outcome::DriveRoot},
      {true, "D:", Outcome::BadFolderPath},
      {true, "\\\\host\\share", Outcome::BadFolderPath},
      {true, "", Outcome::BadFolderPath},
      {true, "D:\\", Outcome::DriveRoot},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    Fixture f(c.windows ? windowsPathRules() : posixPathRules(), c.windows ? '\\' : '/');
    f.host.folder = c.text;
    const MergeResult result = f.job.runMerge();
    EXPECT_EQ(result.outcome, c.outcome);
    // Nothing else happens: no listing, no output asked for, no timeline question.
    EXPECT_TRUE(f.files.listed.empty());
    EXPECT_TRUE(f.host.requests.empty());
    EXPECT_EQ(std::count(f.host.calls.begin(), f.host.calls.end(), "rewriteTimestamps"), 0);
  }
}

TEST(MergeJob, JoinsEveryFileByteForByteInMergeOrder) {
  Fixture f;
  // 10.ts spans several pieces; every read is short.
  const std::size_t sizes[] = {188, 0, 3 * kPieceBytes + 1000, 5, 1};
  const char* names[] = {"1.ts", "2.ts", "10.ts", "9.ts", "b"};
  std::vector<std::uint8_t> expected;
  for (const char* name : {"b", "1.ts", "2.ts", "9.ts", "10.ts"}) {
    const auto at = std::find_if(std::begin(names), std::end(names),
                                 [&](const char* n) { return std::string(n) == name; });
    const auto index = static_cast<std::size_t>(at - std::begin(names));
    auto bytes = patternBytes(sizes[index], static_cast<std::uint8_t>(index));
    f.files.addFile(std::string("/in/") + name, bytes);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  f.files.addFolder("/in/sub");
  f.files.addFile("/in/sub/0.ts", "not a source");

  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Joined);
  EXPECT_EQ(f.files.bytes("/out/all.ts"), expected);
  EXPECT_EQ(result.bytesWritten, expected.size());
  EXPECT_EQ(result.filesJoined, 5u);
  EXPECT_EQ(f.files.opened, (std::vector<std::string>{"/in/b", "/in/1.ts", "/in/2.ts",
                                                      "/in/9.ts", "/in/10.ts"}));
  EXPECT_TRUE(f.rewriter.calls.empty());
}

TEST(MergeJob, AsksForTheOutputWithTheFilterAndTheLastPathConfirmed) {
  Fixture f;
  f.files.addFile("/in/1.ts", "data");
  f.job.runMerge();
  f.host.outputAnswer.reset();  // the second request is declined
  f.job.runMerge();
  f.host.outputAnswer = OutputChoice{"/out/again.ts", true};
  f.job.runMerge();
  ASSERT_EQ(f.host.requests.size(), 3u);
  for (const OutputRequest& request : f.host.requests) {
    EXPECT_EQ(request.type, DialogType::Save);
    EXPECT_EQ(request.filter, messages::kSaveDialogFilter);
  }
  EXPECT_EQ(f.host.requests[0].lastPath, "");
  EXPECT_EQ(f.host.requests[1].lastPath, "/out/all.ts");
  // A declined request keeps the path confirmed before it.
  EXPECT_EQ(f.host.requests[2].lastPath, "/out/all.ts");
}

TEST(MergeJob, StepsComeInOrderAndTheCheckBoxIsReadOnceBeforeTheDialog) {
  Fixture f;
  f.files.addFile("/in/1.ts", "data");
  f.host.rewrite = true;
  f.job.runMerge();
  std::vector<std::string> calls;
  for (const auto& call : f.host.calls) {
    if (call != "folderText") calls.push_back(call);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"rewriteTimestamps", "chooseOutput"}));
  EXPECT_EQ(f.rewriter.calls.front(), "reset");
  EXPECT_EQ(f.rewriter.calls.back(), "finish");
}

TEST(MergeJob, CancelledDialogTouchesNothing) {
  Fixture f;
  f.files.addFile("/in/1.ts", "data");
  f.files.addFile("/out/all.ts", "keep me");
  f.host.outputAnswer.reset();
  f.host.rewrite = true;
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Cancelled);
  EXPECT_TRUE(f.files.opened.empty());
  EXPECT_EQ(f.files.text("/out/all.ts"), "keep me");
  EXPECT_EQ(f.rewriter.calls, std::vector<std::string>{"reset"});
  // The folder was listed before the dialog opened.
  EXPECT_EQ(f.files.listed.size(), 1u);
}

TEST(MergeJob, NothingToJoinDeletesTheOutputAndReportsFailure) {
  const struct {
    const char* what;
    std::vector<std::string> files;
  } kCases[] = {{"empty folder", {}}, {"only empty files", {"/in/1.ts", "/in/2.ts"}}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.files.addFolder("/in/sub");
    for (const auto& path : c.files) f.files.addFile(path, "");
    const MergeResult result = f.job.runMerge();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_FALSE(f.files.exists("/out/all.ts"));
    EXPECT_TRUE(result.outputError.empty());
  }
}

TEST(MergeJob, UnreadableSourcesAreLeftOutAndNamed) {
  Fixture f;
  f.files.addFile("/in/1.ts", "one");
  f.files.addFile("/in/2.ts", "two").openError = "permission denied";
  f.files.addFile("/in/3.ts", "three");
  f.files.addFile("/in/4.ts", "four").openError = "not a regular file";
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Partial);
  EXPECT_EQ(f.files.text("/out/all.ts"), "onethree");
  ASSERT_EQ(result.leftOut.size(), 2u);
  EXPECT_EQ(result.leftOut[0].path, "/in/2.ts");
  EXPECT_EQ(result.leftOut[1].reason, "not a regular file");
  const std::string text = messages::leftOutList(result.leftOut);
  EXPECT_EQ(text.rfind("\n\n", 0), 0u) << "the list follows a message's own text";
  EXPECT_NE(text.find("2 个文件"), std::string::npos);
  EXPECT_NE(text.find("2.ts（permission denied）"), std::string::npos);
  EXPECT_NE(text.find("4.ts（not a regular file）"), std::string::npos);
}

TEST(MergeJob, AllSourcesUnreadableIsAFailureThatNamesThem) {
  Fixture f;
  f.files.addFile("/in/1.ts", "one").openError = "permission denied";
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Failed);
  ASSERT_EQ(result.leftOut.size(), 1u);
  EXPECT_EQ(result.leftOut[0].reason, "permission denied");
  EXPECT_FALSE(f.files.exists("/out/all.ts"));
}

TEST(MergeJob, LongListsOfLeftOutFilesAreCutInTheMessage) {
  Fixture f;
  f.files.addFile("/in/0.ts", "ok");
  for (int i = 1; i <= 30; ++i) f.files.addFile("/in/" + std::to_string(i) + ".ts", "x").openError = "gone";
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.leftOut.size(), 30u);
  const std::string text = messages::leftOutList(result.leftOut);
  EXPECT_EQ(messages::leftOutList({}), "");
  EXPECT_NE(text.find("30 个文件"), std::string::npos);
  EXPECT_NE(text.find("另有 10 个"), std::string::npos);
}

TEST(MergeJob, ASourceThatFailsWhileBeingReadIsTakenOutWhole) {
  Fixture f;
  f.files.addFile("/in/1.ts", "one");
  f.files.addFile("/in/2.ts", patternBytes(kPieceBytes * 2, 1)).readErrorAt = kPieceBytes + 10;
  f.files.addFile("/in/3.ts", "three");
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Partial);
  EXPECT_EQ(f.files.text("/out/all.ts"), "onethree");
  EXPECT_EQ(result.bytesWritten, 8u);
  EXPECT_EQ(result.filesJoined, 2u);
  ASSERT_EQ(result.leftOut.size(), 1u);
  EXPECT_EQ(result.leftOut[0].reason, "input/output error");
}

TEST(MergeJob, EachSourceIsClosedBeforeTheNextIsOpened) {
  Fixture f;
  for (int i = 1; i <= 5000; ++i) f.files.addFile("/in/" + std::to_string(i) + ".ts", "x");
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Joined);
  EXPECT_EQ(result.filesJoined, 5000u);
  EXPECT_EQ(f.files.bytes("/out/all.ts").size(), 5000u);
  EXPECT_EQ(f.files.mostOpenSources, 1);
  EXPECT_EQ(f.files.openSources, 0);
}

TEST(MergeJob, TheOutputIsNeverReadIntoItself) {
  const struct {
    const char* what;
    std::string outputPath;
  } kCases[] = {
      {"the same spelling", "/in/3.ts"},
      {"another spelling of the same file", "/in//3.ts"},
      {"a hard link to it", "/elsewhere/link.ts"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.files.addFile("/in/1.ts", "one");
    f.files.addFile("/in/3.ts", "old output");
    f.files.addFile("/in/5.ts", "five");
    f.files.link("/in/3.ts", "/in//3.ts");
    f.files.link("/in/3.ts", "/elsewhere/link.ts");
    f.host.outputAnswer = OutputChoice{c.outputPath, true};
    const MergeResult result = f.job.runMerge();
    EXPECT_EQ(result.outcome, Outcome::Joined);
    EXPECT_EQ(f.files.text(c.outputPath), "onefive");
    EXPECT_TRUE(result.leftOut.empty());
  }
}

TEST(MergeJob, OutputFailuresAreReportedAndTheIncompleteOutputRemoved) {
  const struct {
    const char* what;
    std::string createError;
    std::optional<std::size_t> writeErrorAt;
    std::string closeError;
    const char* reason;
    bool outputRemoved;
  } kCases[] = {
      {"cannot create", "permission denied", {}, "", "permission denied", false},
      {"disk full", "", kPieceBytes + 5, "", "no space left on device", true},
      {"disk full at once", "", 0, "", "no space left on device", true},
      {"deferred error on close", "", {}, "input/output error", "input/output error", true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.files.addFile("/in/1.ts", patternBytes(kPieceBytes * 2, 3));
    f.files.addFile("/in/2.ts", "two");
    f.files.addFile("/out/all.ts", "old");
    f.files.createError = c.createError;
    f.files.writeErrorAt = c.writeErrorAt;
    f.files.closeError = c.closeError;
    const MergeResult result = f.job.runMerge();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.outputPath, "/out/all.ts");
    EXPECT_EQ(result.outputError, c.reason);
    // A file the merge never opened is not deleted.
    EXPECT_EQ(f.files.exists("/out/all.ts"), !c.outputRemoved);
  }
}

TEST(MergeJob, CorrectionRunsOnlyWhenTickedAndOnlyOnTransportStreams) {
  Fixture f;
  auto ts = patternBytes(kPieceBytes + 376, 0);
  ts[0] = 0x47;
  f.files.addFile("/in/1.ts", ts);
  f.files.addFile("/in/2.ts", "not a transport stream");
  f.files.addFile("/in/3.ts", "");  // empty: nothing to correct, nothing appended
  f.files.addFile("/in/4.ts", std::vector<std::uint8_t>{0x47});
  f.host.rewrite = true;
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Joined);
  EXPECT_EQ(f.rewriter.calls,
            (std::vector<std::string>{"reset", "begin 1.ts", "first " + std::to_string(kPieceBytes),
                                      "more 376", "begin 4.ts", "first 1", "finish"}));
  const auto& out = f.files.bytes("/out/all.ts");
  ASSERT_EQ(out.size(), ts.size() + 22 + 1);
  // The rewriter's mark stands at the end of each piece it was handed, and nowhere else.
  EXPECT_EQ(out[kPieceBytes - 1], 'R');
  EXPECT_EQ(out[ts.size() - 1], 'R');
  EXPECT_EQ(std::string(out.begin() + static_cast<std::ptrdiff_t>(ts.size()), out.end() - 1),
            "not a transport stream");
  EXPECT_EQ(out.back(), 'R');

  Fixture off;
  off.files.addFile("/in/1.ts", ts);
  off.job.runMerge();
  EXPECT_TRUE(off.rewriter.calls.empty());
  EXPECT_EQ(off.files.bytes("/out/all.ts"), ts);
}

TEST(MergeJob, WindowsFolderEndingInASeparatorDoublesIt) {
  Fixture f(windowsPathRules(), '\\');
  f.host.folder = "D:\\clips\\";
  f.host.outputAnswer = OutputChoice{"D:\\all.ts", true};
  f.files.addFile("D:\\clips\\1.ts", "one");
  f.files.addFile("D:\\clips\\2.ts", "two");
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Joined);
  EXPECT_EQ(f.files.opened, (std::vector<std::string>{"D:\\clips\\\\1.ts", "D:\\clips\\\\2.ts"}));
  EXPECT_EQ(f.files.text("D:\\all.ts"), "onetwo");
  EXPECT_EQ(f.job.pathParts(), (std::vector<std::string>{"D:", "clips"}));
}

TEST(MergeJob, TheHostStopsAMergeBetweenPiecesAndNoOutputIsLeft) {
  // Reports come after each piece of a large file and after each file: stop at each of them.
  const struct {
    const char* what;
    std::size_t report;
  } kCases[] = {{"within the large file", 0}, {"after the large file", 1}, {"after the last", 2}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.files.addFile("/in/1.ts", patternBytes(kPieceBytes + 10, 1));
    f.files.addFile("/in/2.ts", "two");
    f.host.rewrite = true;
    f.host.stopAtReport = c.report;
    const MergeResult result = f.job.runMerge();
    EXPECT_EQ(result.outcome, Outcome::Stopped);
    EXPECT_FALSE(result.succeeded());
    EXPECT_FALSE(f.files.exists("/out/all.ts"));
    EXPECT_EQ(f.host.reports.size(), c.report + 1);
    EXPECT_EQ(std::count(f.rewriter.calls.begin(), f.rewriter.calls.end(), "finish"), 0);
  }
}

}  // namespace
}  // namespace tsmerge
