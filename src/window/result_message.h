#pragma once

#include <cstdint>
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

// How often the output's timeline stepped back after the correction of 选择框1, against how often
// the sources joined as they are would have, both measured during the merge.
struct CorrectionSteps {
  std::uint64_t written = 0;
  std::uint64_t plain = 0;
};

// The box that tells a merge's result; nothing when no output was asked for. A join is told with
// OK and Cancel: the window disables its merge button before the box shows, and OK opens the
// output's folder. After a correction that left the timeline stepping back more often than the
// plain join, one line after the success text says so and suggests the continuous timeline.
std::optional<ResultMessage> resultMessage(const MergeResult& result,
                                           std::optional<CorrectionSteps> correction = {});

}  // namespace tsmerge
