#pragma once

#include <functional>

namespace tsmerge::window {

// A rectangle in client coordinates; right() and bottom() lie just past it.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// The client area and the visible controls' standard places and sizes, in pixels at 96 DPI, for a
// font in which every text fits its control. kClientSize is the area above 选择框2's row.
inline constexpr Size kClientSize{192, 136};
inline constexpr Rect kChooseButtonRect{8, 8, 80, 32};     // 按钮1
inline constexpr Rect kMergeButtonRect{104, 8, 80, 32};    // 按钮2
inline constexpr Rect kFolderEditRect{8, 48, 176, 40};     // 编辑框1
inline constexpr Rect kCorrectionBoxRect{16, 88, 152, 24};  // 选择框1
inline constexpr Rect kHintLabelRect{32, 112, 160, 24};    // 标签1
// The continuous-timeline box is a row of its own under 标签1: the window grows by that row and
// nothing above it moves. Two lines of text fit.
inline constexpr Rect kContinuousBoxRect{16, 136, 168, 32};  // 选择框2

// Lines of text the folder box shows without scrolling.
inline constexpr int kFolderEditLines = 2;
// Space between the text and the folder box's border, on each side.
inline constexpr int kFolderEditMargin = 2;

// What the toolkit measured for its font: the sizes the controls need for their texts.
struct ControlHints {
  Size chooseButton;
  Size mergeButton;
  int folderEditLineSpacing = 0;  // height of one line of text in the folder box
  int folderEditFrame = 0;        // width of the folder box's border, on each side
  Size correctionBox;
  std::function<int(int width)> hintLabelHeightForWidth;  // the label's text broken at width
  Size continuousBox;
};

// Where the visible controls go.
struct WindowLayout {
  Rect chooseButton;   // 按钮1
  Rect mergeButton;    // 按钮2
  Rect folderEdit;     // 编辑框1
  Rect correctionBox;  // 选择框1
  Rect hintLabel;      // 标签1
  Rect continuousBox;  // 选择框2
  Size client;
};

// The standard layout where every text fits; where one does not, its control grows (and the
// controls below and beside it move along) instead of cutting the text off.
WindowLayout layoutControls(const ControlHints& hints);

}  // namespace tsmerge::window
