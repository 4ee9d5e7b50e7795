#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

#include "merge/merge_host.h"
#include "merge/merge_job.h"
#include "window/result_message.h"
#include "window/window_layout.h"

namespace tsmerge {

class FileAccess;
class TimestampRewriter;

// A merge that runs longer than this shows a progress window.
inline constexpr std::chrono::milliseconds kProgressDelay{500};
// The progress window is brought up to date at most this often.
inline constexpr std::chrono::milliseconds kProgressInterval{100};

// Control ids; 1 and 2 are the dialog manager's IDOK and IDCANCEL, so the controls start above.
enum ControlId : int {
  kChooseButtonId = 101,   // 按钮1
  kMergeButtonId = 102,    // 按钮2
  kFolderEditId = 103,     // 编辑框1
  kCorrectionBoxId = 104,  // 选择框1
  kHintLabelId = 105,      // 标签1
};

// The program's one window in the system's own controls: the folder, the correction check box
// and the merge button. The work is done by the MergeJob it owns; the window answers the job's
// questions as its MergeHost.
class MainWindow final : private MergeHost {
 public:
  // rewriter may be null: the check box then has no effect.
  MainWindow(HINSTANCE instance, FileAccess& files, TimestampRewriter* rewriter);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Makes the window and its controls hidden and runs the created handler; false when the
  // system refused the window.
  bool create();
  // Shows the window, centred on the primary screen, the focus on 按钮1.
  void show();
  // Hands one message to the window's keyboard rules; true when it was used.
  bool translateKeyboard(MSG& message);
  HWND handle() const { return window_; }

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Handlers.
  void chooseFolder();
  void folderTextChanged();
  void runMerge();
  void folderDropped(HDROP drop);

  void writeFolderText(const std::string& text);
  void createFont();
  void layout();

  // MergeHost
  std::string folderText() override;
  bool rewriteTimestamps() override;
  std::optional<OutputChoice> chooseOutput(const OutputRequest& request) override;

  // Tells a merge's result in a message box; after a join, disables 按钮2 first and opens the
  // output's folder on OK.
  void showResult(const MergeResult& result);
  void disableMergeButton();
  void startFileManager(const std::string& folder);
  ProgressAnswer mergeProgress(const MergeProgress& progress) override;

  // The progress window of a long merge: shown after kProgressDelay, owned by the window, which
  // takes no input while it shows.
  void showProgress();
  void hideProgress();

  HINSTANCE instance_;
  MergeJob job_;
  HWND window_ = nullptr;
  HWND chooseButton_ = nullptr;   // 按钮1
  HWND mergeButton_ = nullptr;    // 按钮2
  HWND folderEdit_ = nullptr;     // 编辑框1
  HWND correctionBox_ = nullptr;  // 选择框1
  HWND hintLabel_ = nullptr;      // 标签1
  HFONT font_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  bool writingFolderText_ = false;

  std::chrono::steady_clock::time_point joinStarted_{};  // when the save dialog was confirmed
  std::chrono::steady_clock::time_point progressShown_{};  // the progress window's last update
  bool joining_ = false;
  HWND progress_ = nullptr;
  HWND progressText_ = nullptr;
  HWND progressBar_ = nullptr;
};

}  // namespace tsmerge
