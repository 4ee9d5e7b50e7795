#include "window/result_message.h"

#include <gtest/gtest.h>

#include "merge/merge_job.h"

namespace tsmerge {
namespace {

using Outcome = MergeResult::Outcome;

TEST(ResultMessage, EachOutcomeInTheWindowsWords) {
  // The texts as the user must see them, written out here on their own.
  const std::string kSucceeded = "操作成功完成！是否打开输出目录。";
  const std::string kWriteFailed = "写出文件失败！请检查源文件目录是否可读。";
  const std::vector<LeftOutFile> leftOut = {{"2.ts", "/in/2.ts", "Permission denied"}};
  const std::string leftOutText = "\n\n1 个文件无法读取，未合并：\n2.ts（Permission denied）";
  const struct {
    const char* what;
    Outcome outcome;
    std::string outputError;
    std::vector<LeftOutFile> leftOut;
    std::optional<std::string> text;
    MessageButtons buttons;
  } kCases[] = {
      {"bad folder", Outcome::BadFolderPath, "", {}, "目录路径非法！请检查源文件目录是否正确。",
       MessageButtons::Ok},
      {"root", Outcome::DriveRoot, "", {},
       "您选择了磁盘根目录！程序不能处理如此多的文件，请重新选择。", MessageButtons::Ok},
      {"cancelled", Outcome::Cancelled, "", {}, std::nullopt, MessageButtons::Ok},
      {"stopped (the progress dialog cancelled)", Outcome::Stopped, "", {},
       "合并已取消，没有写出任何文件。", MessageButtons::Ok},
      {"nothing to join", Outcome::Failed, "", {}, kWriteFailed, MessageButtons::Ok},
      {"output failed", Outcome::Failed, "No space left on device", leftOut,
       kWriteFailed + "\n\n/out/all.ts：No space left on device" + leftOutText,
       MessageButtons::Ok},
      {"joined", Outcome::Joined, "", {}, kSucceeded, MessageButtons::OkCancel},
      {"partial", Outcome::Partial, "", leftOut, kSucceeded + leftOutText,
       MessageButtons::OkCancel},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    MergeResult result;
    result.outcome = c.outcome;
    result.outputPath = "/out/all.ts";
    result.outputError = c.outputError;
    result.leftOut = c.leftOut;
    const std::optional<ResultMessage> message = resultMessage(result);
    ASSERT_EQ(message.has_value(), c.text.has_value());
    if (!message) continue;
    EXPECT_EQ(message->text, *c.text);
    EXPECT_EQ(message->buttons, c.buttons);
  }
}

}  // namespace
}  // namespace tsmerge
