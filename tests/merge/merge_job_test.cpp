#include "merge/merge_job.h"

#include <gtest/gtest.h>

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
    host.dialogAnswer = "/out/all.ts";
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
    const char* box;
  } kCases[] = {
      {false, "", messages::kBadFolderPath},
      {false, "in", messages::kBadFolderPath},
      {false, "./in", messages::kBadFolderPath},
      {false, "/", messages::kDriveRoot},
      {true, "D:", messages::kBadFolderPath},
      {true, "\\\\host\\share", messages::kBadFolderPath},
      {true, "", messages::kBadFolderPath},
      {true, "D:\\", messages::kDriveRoot},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    Fixture f(c.windows ? windowsPathRules() : posixPathRules(), c.windows ? '\\' : '/');
    f.host.folder = c.text;
    const MergeResult result = f.job.runMerge();
    EXPECT_EQ(result.outcome,
              c.box == messages::kBadFolderPath ? Outcome::BadFolderPath : Outcome::DriveRoot);
    ASSERT_EQ(f.host.boxes.size(), 1u);
    EXPECT_EQ(f.host.boxes[0].text, c.box);
    EXPECT_EQ(f.host.boxes[0].buttons, MessageButtons::Ok);
    // Nothing else happens: no listing, no dialog, no check box read, the button stays.
    EXPECT_TRUE(f.files.listed.empty());
    EXPECT_EQ(f.host.dialogType, DialogType::Unset);
    EXPECT_EQ(f.host.checkBoxReads, 0);
    EXPECT_TRUE(f.host.mergeButtonEnabled);
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

TEST(MergeJob, SuccessDisablesTheButtonAndOffersTheOutputFolder) {
  for (const int answer : {kMessageOk, kMessageCancel}) {
    SCOPED_TRACE(answer);
    Fixture f;
    f.files.addFile("/in/1.ts", "data");
    f.host.boxAnswer = answer;
    f.job.runMerge();
    ASSERT_EQ(f.host.boxes.size(), 1u);
    EXPECT_EQ(f.host.boxes[0].text, messages::kSucceeded);
    EXPECT_EQ(f.host.boxes[0].buttons, MessageButtons::OkCancel);
    EXPECT_FALSE(f.host.mergeButtonEnabled);
    const std::vector<std::string> tail(f.host.calls.end() - (answer == kMessageOk ? 3 : 2),
                                        f.host.calls.end());
    std::vector<std::string> expectedTail = {"disableMergeButton", "messageBox"};
    if (answer == kMessageOk) expectedTail.push_back("startFileManager");
    EXPECT_EQ(tail, expectedTail);
    EXPECT_EQ(f.host.fileManagerFolders,
              answer == kMessageOk ? std::vector<std::string>{"/out/"} : std::vector<std::string>{});
  }
}

TEST(MergeJob, StepsComeInOrderAndTheCheckBoxIsReadOnceBeforeTheDialog) {
  Fixture f;
  f.files.addFile("/in/1.ts", "data");
  f.host.checkBox = true;
  f.job.runMerge();
  std::vector<std::string> calls;
  for (const auto& call : f.host.calls) {
    if (call != "folderText") calls.push_back(call);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"setSaveDialogType", "setSaveDialogFilter",
                                             "correctionChecked", "openSaveDialog",
                                             "disableMergeButton", "messageBox",
                                             "startFileManager"}));
  EXPECT_EQ(f.host.checkBoxReads, 1);
  EXPECT_EQ(f.host.dialogType, DialogType::Save);
  EXPECT_EQ(f.host.dialogFilter, messages::kSaveDialogFilter);
}

TEST(MergeJob, CancelledDialogTouchesNothing) {
  Fixture f;
  f.files.addFile("/in/1.ts", "data");
  f.files.addFile("/out/all.ts", "keep me");
  f.host.dialogConfirms = false;
  f.host.checkBox = true;
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Cancelled);
  EXPECT_TRUE(f.host.boxes.empty());
  EXPECT_TRUE(f.files.opened.empty());
  EXPECT_EQ(f.files.text("/out/all.ts"), "keep me");
  EXPECT_TRUE(f.host.mergeButtonEnabled);
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
    ASSERT_EQ(f.host.boxes.size(), 1u);
    EXPECT_EQ(f.host.boxes[0].text, messages::kWriteFailed);
    EXPECT_TRUE(f.host.mergeButtonEnabled);
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
  ASSERT_EQ(f.host.boxes.size(), 1u);
  const std::string& text = f.host.boxes[0].text;
  EXPECT_EQ(text.rfind(messages::kSucceeded, 0), 0u) << "the message's own text comes first";
  EXPECT_NE(text.find("2 个文件"), std::string::npos);
  EXPECT_NE(text.find("2.ts（permission denied）"), std::string::npos);
  EXPECT_NE(text.find("4.ts（not a regular file）"), std::string::npos);
}

TEST(MergeJob, AllSourcesUnreadableIsAFailureThatNamesThem) {
  Fixture f;
  f.files.addFile("/in/1.ts", "one").openError = "permission denied";
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Failed);
  ASSERT_EQ(f.host.boxes.size(), 1u);
  EXPECT_EQ(f.host.boxes[0].text.rfind(messages::kWriteFailed, 0), 0u);
  EXPECT_NE(f.host.boxes[0].text.find("1.ts（permission denied）"), std::string::npos);
  EXPECT_FALSE(f.files.exists("/out/all.ts"));
}

TEST(MergeJob, LongListsOfLeftOutFilesAreCutInTheMessage) {
  Fixture f;
  f.files.addFile("/in/0.ts", "ok");
  for (int i = 1; i <= 30; ++i) f.files.addFile("/in/" + std::to_string(i) + ".ts", "x").openError = "gone";
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.leftOut.size(), 30u);
  const std::string& text = f.host.boxes.at(0).text;
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
    f.host.dialogAnswer = c.outputPath;
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
    ASSERT_EQ(f.host.boxes.size(), 1u);
    EXPECT_EQ(f.host.boxes[0].text,
              std::string(messages::kWriteFailed) + "\n\n/out/all.ts：" + c.reason);
    EXPECT_EQ(f.host.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(f.host.mergeButtonEnabled);
    EXPECT_TRUE(f.host.fileManagerFolders.empty());
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
  f.host.checkBox = true;
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
  f.host.dialogAnswer = "D:\\all.ts";
  f.files.addFile("D:\\clips\\1.ts", "one");
  f.files.addFile("D:\\clips\\2.ts", "two");
  const MergeResult result = f.job.runMerge();
  EXPECT_EQ(result.outcome, Outcome::Joined);
  EXPECT_EQ(f.files.opened, (std::vector<std::string>{"D:\\clips\\\\1.ts", "D:\\clips\\\\2.ts"}));
  EXPECT_EQ(f.files.text("D:\\all.ts"), "onetwo");
  EXPECT_EQ(f.host.fileManagerFolders, std::vector<std::string>{"D:\\"});
  EXPECT_EQ(f.job.pathParts(), (std::vector<std::string>{"D:", "clips"}));
}

}  // namespace
}  // namespace tsmerge
