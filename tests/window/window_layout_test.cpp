#include "window/window_layout.h"

#include <gtest/gtest.h>

namespace tsmerge::window {
namespace {

// Hints of a font in which every text fits: the standard places and sizes of the window.
ControlHints fittingHints() {
  ControlHints hints;
  hints.chooseButton = {60, 24};
  hints.mergeButton = {60, 24};
  hints.folderEditLineSpacing = 14;
  hints.folderEditFrame = 2;
  hints.correctionBox = {140, 20};
  hints.hintLabelHeightForWidth = [](int) { return 24; };
  hints.continuousBox = {150, 30};
  return hints;
}

TEST(WindowLayout, StandardPlacesWhenEveryTextFits) {
  const WindowLayout layout = layoutControls(fittingHints());
  EXPECT_EQ(layout.chooseButton, kChooseButtonRect);
  EXPECT_EQ(layout.mergeButton, kMergeButtonRect);
  EXPECT_EQ(layout.folderEdit, kFolderEditRect);
  EXPECT_EQ(layout.correctionBox, kCorrectionBoxRect);
  EXPECT_EQ(layout.hintLabel, kHintLabelRect);
  // The continuous-timeline box adds its row below: the window grows by it.
  EXPECT_EQ(layout.continuousBox, kContinuousBoxRect);
  EXPECT_EQ(layout.client, (Size{kClientSize.width, kClientSize.height + kContinuousBoxRect.height}));
}

TEST(WindowLayout, ControlsGrowForTheirTextAndTheOthersMoveAlong) {
  ControlHints hints = fittingHints();
  hints.chooseButton = {100, 40};             // 20 wider and 8 taller than standard
  hints.folderEditLineSpacing = 20;           // two lines + frames + margins: 48
  hints.hintLabelHeightForWidth = [](int width) { return width < 200 ? 60 : 30; };
  const WindowLayout layout = layoutControls(hints);

  EXPECT_EQ(layout.chooseButton, (Rect{8, 8, 100, 40}));
  // 按钮2 keeps its 16-pixel gap to 按钮1 and takes the same height.
  EXPECT_EQ(layout.mergeButton, (Rect{124, 8, 80, 40}));
  // The folder box spans the row of buttons and sits 8 below it.
  EXPECT_EQ(layout.folderEdit, (Rect{8, 56, 196, 48}));
  EXPECT_EQ(layout.correctionBox, (Rect{16, 104, 152, 24}));
  // The right margin of 8 stays: the client is 212 wide, the label reaches its edge.
  EXPECT_EQ(layout.hintLabel, (Rect{32, 128, 180, 60}));
  // The continuous-timeline box's row follows the label.
  EXPECT_EQ(layout.continuousBox, (Rect{16, 188, 168, 32}));
  EXPECT_EQ(layout.client, (Size{212, 220}));
}

}  // namespace
}  // namespace tsmerge::window
