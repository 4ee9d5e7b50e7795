#include "window/result_message.h"

#include "merge/merge_job.h"
#include "merge/messages.h"

namespace tsmerge {

std::optional<ResultMessage> resultMessage(const MergeResult& result) {
  using Outcome = MergeResult::Outcome;
  switch (result.outcome) {
    case Outcome::BadFolderPath:
      return ResultMessage{messages::kBadFolderPath, MessageButtons::Ok};
    case Outcome::DriveRoot:
      return ResultMessage{messages::kDriveRoot, MessageButtons::Ok};
    case Outcome::Cancelled:
    case Outcome::Stopped:
      return std::nullopt;
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
  return ResultMessage{messages::kSucceeded + messages::leftOutList(result.leftOut),
                       MessageButtons::OkCancel};
}

}  // namespace tsmerge
