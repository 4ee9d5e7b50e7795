#include "window/result_message.h"

#include "merge/merge_job.h"
#include "merge/messages.h"
#include "window/window_texts.h"

namespace tsmerge {
namespace {

// The text with %1 and %2 replaced by the numbers.
std::string withNumbers(std::string text, std::uint64_t first, std::uint64_t second) {
  for (const auto& [mark, value] : {std::pair{"%1", first}, std::pair{"%2", second}}) {
    const std::size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, 2, std::to_string(value));
  }
  return text;
}

}  // namespace

std::optional<ResultMessage> resultMessage(const MergeResult& result,
                                           std::optional<CorrectionSteps> correction) {
  using Outcome = MergeResult::Outcome;
  switch (result.outcome) {
    case Outcome::BadFolderPath:
      return ResultMessage{messages::kBadFolderPath, MessageButtons::Ok};
    case Outcome::DriveRoot:
      return ResultMessage{messages::kDriveRoot, MessageButtons::Ok};
    case Outcome::Cancelled:
      return std::nullopt;
    case Outcome::Stopped:
      return ResultMessage{window_texts::kMergeCancelled, MessageButtons::Ok};
    case Outcome::Failed: {
      std::string text = messages::kWriteFailed;
      if (!result.outputError.empty()) {
        text += "\n\n" + result.outputPath + "：" + result.outputError;
      }
      return ResultMessage{text + messages::leftOutList(result.leftOut), MessageButtons::Ok};
    }
    case Outcome::Joined:
    case Outcome::Partial:
      break;
  }
  std::string text = messages::kSucceeded;
  if (correction && correction->written > correction->plain) {
    text += "\n" + withNumbers(window_texts::kCorrectionStepsBack, correction->written,
                               correction->plain);
  }
  return ResultMessage{text + messages::leftOutList(result.leftOut), MessageButtons::OkCancel};
}

}  // namespace tsmerge
