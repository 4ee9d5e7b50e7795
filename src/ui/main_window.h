#pragma once

#include <chrono>

#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include "merge/merge_host.h"
#include "merge/merge_job.h"
#include "ui/window_dialogs.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;

namespace tsmerge {

class FileAccess;
class TimestampRewriter;

// A merge that runs longer than this shows a progress dialog.
inline constexpr std::chrono::milliseconds kProgressDelay{500};

// Where the visible controls go, in client coordinates.
struct WindowLayout {
  QRect chooseButton;  // 按钮1
  QRect mergeButton;   // 按钮2
  QRect folderEdit;    // 编辑框1
  QRect correctionBox;  // 选择框1
  QRect hintLabel;     // 标签1
  QSize client;
};

// The properties of the save dialog 通用对话框1, kept from merge to merge.
struct SaveDialogProperties {
  DialogType type = DialogType::Unset;
  QString filter;
  QString fileName;  // the path confirmed last; offered again by the next dialog
};

// The program's one window: the folder, the correction check box and the merge button. The work
// is done by the MergeJob it owns; the window answers the job's questions as its MergeHost.
class MainWindow final : public QWidget, private MergeHost {
  Q_OBJECT

 public:
  // rewriter may be null: the check box then has no effect.
  MainWindow(WindowDialogs& dialogs, FileAccess& files, TimestampRewriter* rewriter,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // The created handler: makes the length buckets; runs once, before the window is shown.
  void createBuckets();
  // Click on 按钮1: the folder chosen in the folder chooser goes into the edit box.
  void chooseFolder();
  // Every change of the folder text: enables 按钮2.
  void folderTextChanged();
  // Click on 按钮2: one merge, from the folder check to its last message.
  void runMerge();
  // The message box that tells a merge's result, worded as the window words it; after a join,
  // the merge button is disabled first and OK opens the output's folder.
  void showResult(const MergeResult& result);

  // Replaces the whole folder text and raises folderTextChanged once, also for the same text.
  void writeFolderText(const QString& text);

  // For tests: how long a merge runs before its progress dialog shows.
  void setProgressDelay(std::chrono::milliseconds delay) { progressDelay_ = delay; }

  const MergeJob& job() const { return job_; }
  const SaveDialogProperties& saveDialog() const { return saveDialog_; }

  // The places of the controls for the current font: the standard ones, with each control and the
  // window grown just enough that no text is cut off.
  WindowLayout layoutControls() const;

 private:
  // MergeHost
  std::string folderText() override;
  bool rewriteTimestamps() override;
  std::optional<OutputChoice> chooseOutput(const OutputRequest& request) override;
  ProgressAnswer mergeProgress(const MergeProgress& progress) override;

  BoxAnswer messageBox(const std::string& text, MessageButtons buttons);

  void hideProgress();

  WindowDialogs& dialogs_;
  MergeJob job_;
  SaveDialogProperties saveDialog_;

  QPushButton* chooseButton_;   // 按钮1
  QPushButton* mergeButton_;    // 按钮2
  QPlainTextEdit* folderEdit_;  // 编辑框1
  QCheckBox* correctionBox_;    // 选择框1
  QLabel* hintLabel_;           // 标签1

  std::chrono::milliseconds progressDelay_ = kProgressDelay;
  QElapsedTimer joinClock_;  // started when the save dialog is confirmed
  QPointer<QProgressDialog> progress_;
};

}  // namespace tsmerge
