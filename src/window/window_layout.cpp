#include "window/window_layout.h"

#include <algorithm>

namespace tsmerge::window {

WindowLayout layoutControls(const ControlHints& hints) {
  WindowLayout layout;

  // Buttons: wider and taller when the caption needs it, 按钮2 keeping its gap to 按钮1.
  const int buttonHeight = std::max(
      {kChooseButtonRect.height, hints.chooseButton.height, hints.mergeButton.height});
  layout.chooseButton = {kChooseButtonRect.left, kChooseButtonRect.top,
                         std::max(kChooseButtonRect.width, hints.chooseButton.width), buttonHeight};
  const int gap = kMergeButtonRect.left - kChooseButtonRect.right();
  layout.mergeButton = {std::max(kMergeButtonRect.left, layout.chooseButton.right() + gap),
                        kMergeButtonRect.top,
                        std::max(kMergeButtonRect.width, hints.mergeButton.width), buttonHeight};
  const int rightMargin = kClientSize.width - kMergeButtonRect.right();

  // Folder box: as wide as the buttons' row, tall enough for two lines of text.
  const int rowGap = kFolderEditRect.top - kChooseButtonRect.bottom();
  const int editLines = kFolderEditLines * hints.folderEditLineSpacing +
                        2 * hints.folderEditFrame + 2 * kFolderEditMargin;
  layout.folderEdit = {
      kFolderEditRect.left, layout.chooseButton.bottom() + rowGap,
      std::max(kFolderEditRect.width, layout.mergeButton.right() - kFolderEditRect.left),
      std::max(kFolderEditRect.height, editLines)};

  // Check box right under the folder box, wider when its text needs it.
  layout.correctionBox = {kCorrectionBoxRect.left, layout.folderEdit.bottom(),
                          std::max(kCorrectionBoxRect.width, hints.correctionBox.width),
                          std::max(kCorrectionBoxRect.height, hints.correctionBox.height)};

  // Label under the check box, reaching the right edge, as many lines tall as its text needs.
  const int continuousWidth = std::max(kContinuousBoxRect.width, hints.continuousBox.width);
  const int clientWidth = std::max({kClientSize.width, layout.mergeButton.right() + rightMargin,
                                    layout.folderEdit.right() + rightMargin,
                                    layout.correctionBox.right() + rightMargin,
                                    kContinuousBoxRect.left + continuousWidth + rightMargin});
  const int labelWidth = std::max(kHintLabelRect.width, clientWidth - kHintLabelRect.left);
  const int labelHeight =
      hints.hintLabelHeightForWidth ? hints.hintLabelHeightForWidth(labelWidth) : 0;
  layout.hintLabel = {kHintLabelRect.left, layout.correctionBox.bottom(), labelWidth,
                      std::max(kHintLabelRect.height, labelHeight)};

  // The continuous-timeline box in a row of its own under the rest, taller when its text needs it.
  const int partBottom = std::max(kClientSize.height, layout.hintLabel.bottom());
  layout.continuousBox = {kContinuousBoxRect.left,
                          partBottom + kContinuousBoxRect.top - kClientSize.height,
                          continuousWidth,
                          std::max(kContinuousBoxRect.height, hints.continuousBox.height)};

  layout.client = {std::max(clientWidth, layout.hintLabel.right()),
                   layout.continuousBox.bottom()};
  return layout;
}

}  // namespace tsmerge::window
