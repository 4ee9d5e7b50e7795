#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tsmerge {

enum class MessageButtons { Ok, OkCancel };

// What a message box returns.
inline constexpr int kMessageOk = 0;
inline constexpr int kMessageCancel = 1;  // also when the box is closed

// Caption of every message box.
inline constexpr const char* kMessageCaption = "信息：";

enum class DialogType { Unset, Save };

// Where a running join stands, for a progress display.
struct MergeProgress {
  std::size_t filesDone = 0;
  std::size_t fileCount = 0;
  std::uint64_t bytesWritten = 0;
};

// The window, or whatever stands in for it, as the merge job sees it.
class MergeHost {
 public:
  virtual ~MergeHost() = default;
  // The current folder text; read anew at every use.
  virtual std::string folderText() = 0;
  // True when the correction check box is ticked.
  virtual bool correctionChecked() = 0;
  // The merge button stops accepting clicks until the folder text changes.
  virtual void disableMergeButton() = 0;
  // Settings of the save dialog; the file-name property keeps the path chosen last.
  virtual void setSaveDialogType(DialogType type) = 0;
  virtual void setSaveDialogFilter(const std::string& filter) = 0;
  // Shows the dialog modally: true when a file name was confirmed, false when cancelled.
  virtual bool openSaveDialog() = 0;
  virtual std::string saveDialogFileName() = 0;
  // A modal box with caption kMessageCaption and no icon; returns kMessageOk or kMessageCancel.
  virtual int messageBox(const std::string& text, MessageButtons buttons) = 0;
  // Opens the folder in the desktop's file manager without waiting; failures are ignored.
  virtual void startFileManager(const std::string& folder) = 0;
  // Called after each source and now and then within a large one.
  virtual void mergeProgress(const MergeProgress& progress) { (void)progress; }
};

}  // namespace tsmerge
