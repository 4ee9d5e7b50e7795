#pragma once

#include <optional>
#include <string>

namespace tsmerge {

struct MergeResult;

// Caption of every message box the windows show.
inline constexpr const char* kMessageCaption = "信息：";

enum class MessageButtons { Ok, OkCancel };

// A message box as a window shows it: caption kMessageCaption, no icon, plain text.
struct ResultMessage {
  std::string text;
  MessageButtons buttons = MessageButtons::Ok;
};

// The box that tells a merge's result; nothing after a cancelled or stopped merge. A join is told
// with OK and Cancel: the window disables its merge button before the box shows, and OK opens the
// output's folder.
std::optional<ResultMessage> resultMessage(const MergeResult& result);

}  // namespace tsmerge
