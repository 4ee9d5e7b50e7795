#pragma once

#include <chrono>

#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include "continuous/continuous_timeline.h"
#include "merge/merge_host.h"
#include "merge/merge_job.h"
#include "merge/timeline_mode.h"
#include "merge/timestamp_rewriter.h"
#include "ui/window_dialogs.h"

class QCheckBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;

namespace tsmerge {

class FileAccess;
class TimestampRewriter;

// A merge that runs longer than this shows a progress dialog.
inline constexpr std::chrono::milliseconds kProgressDelay{500};
// The progress dialog is brought up to date, and the window repainted, at most this often: each
// update costs the join time.
inline constexpr std::chrono::milliseconds kProgressInterval{100};

// Where the visible controls go, in client coordinates.
struct WindowLayout {
  QRect chooseButton;  // 按钮1
  QRect mergeButton;   // 按钮2
  QRect folderEdit;    // 编辑框1
  QRect correctionBox;  // 选择框1
  QRect hintLabel;     // 标签1
  QRect continuousBox;  // 选择框2
  QSize client;
};

// The properties of the save dialog 通用对话框1, kept from merge to merge.
struct SaveDialogProperties {
  DialogType type = DialogType::Unset;
  QString filter;
  QString fileName;  // the path confirmed last; offered again by the next dialog
};

// Hands a merge's timestamp work to the rewriter the window chose when the merge read its boxes.
class ChosenRewriter final : public TimestampRewriter {
 public:
  void choose(TimestampRewriter* rewriter) { chosen_ = rewriter; }
  void resetTimelineState() override { chosen_->resetTimelineState(); }
  void beginFile(const std::string& name) override { chosen_->beginFile(name); }
  void correctBuffer(std::span<std::uint8_t> piece, bool startsFile) override {
    chosen_->correctBuffer(piece, startsFile);
  }
  void finishMerge() override { chosen_->finishMerge(); }

 private:
  TimestampRewriter* chosen_ = nullptr;
};

// The program's one window: the folder, the two timeline check boxes and the merge button. The
// work is done by the MergeJob it owns; the window answers the job's questions as its MergeHost.
class MainWindow final : public QWidget, private MergeHost {
  Q_OBJECT

 public:
  // correction is what 选择框1 applies; it may be null, and that box then has no effect. 选择框2
  // applies the window's own continuous timeline.
  MainWindow(WindowDialogs& dialogs, FileAccess& files, TimestampRewriter* correction,
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
  // What the last merge did to the timestamps, as it read the check boxes.
  TimelineMode lastTimelineMode() const { return timelineMode_; }

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
  // A folder or file dropped on the window or the folder box: its folder goes into the box.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  // MergeHost
  std::string folderText() override;
  bool rewriteTimestamps() override;
  std::optional<OutputChoice> chooseOutput(const OutputRequest& request) override;
  ProgressAnswer mergeProgress(const MergeProgress& progress) override;

  BoxAnswer messageBox(const std::string& text, MessageButtons buttons);

  void hideProgress();
  void showProgress();
  // Places the progress dialog centred over the window, on the window's screen.
  void centreProgress();
  // The steps back measured during a merge with 选择框1's correction; nothing for other merges.
  std::optional<CorrectionSteps> correctionSteps() const;

  WindowDialogs& dialogs_;
  // The rewriters a merge may use; the job holds chosen_, which passes on to one of them.
  TimestampRewriter* correction_;
  TimelineObserver observedCorrection_;  // correction_, measured before and after
  ContinuousTimeline continuous_;
  ChosenRewriter chosen_;
  TimelineMode timelineMode_ = TimelineMode::Plain;
  MergeJob job_;
  SaveDialogProperties saveDialog_;

  QPushButton* chooseButton_;   // 按钮1
  QPushButton* mergeButton_;    // 按钮2
  QPlainTextEdit* folderEdit_;  // 编辑框1
  QCheckBox* correctionBox_;    // 选择框1
  QLabel* hintLabel_;           // 标签1
  QCheckBox* continuousBox_;    // 选择框2

  std::chrono::milliseconds progressDelay_ = kProgressDelay;
  QElapsedTimer joinClock_;  // started when the save dialog is confirmed
  qint64 progressShownAt_ = 0;  // on joinClock_
  qint64 progressDrawnAt_ = 0;
  bool stopRequested_ = false;  // the progress dialog was cancelled
  QPointer<QProgressDialog> progress_;
};

}  // namespace tsmerge
