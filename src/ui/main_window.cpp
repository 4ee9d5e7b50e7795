#include "ui/main_window.h"

#include <algorithm>
#include <climits>
#include <new>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QUrl>

#include "merge/path_rules.h"
#include "ui/fatal_error.h"
#include "ui/window_dialogs.h"
#include "window/window_layout.h"
#include "window/window_texts.h"

namespace tsmerge {
namespace {

QRect toQRect(const window::Rect& rect) {
  return QRect(rect.left, rect.top, rect.width, rect.height);
}

QString fromUtf8(const char* text) { return QString::fromUtf8(text); }

// Shows how far a long merge has come. Its Cancel button, Escape and its close box all emit
// canceled(): the window then stops the merge before its next piece.
class MergeProgressDialog final : public QProgressDialog {
 public:
  explicit MergeProgressDialog(QWidget* owner) : QProgressDialog(owner) {
    setObjectName(QStringLiteral("mergeProgress"));
    setWindowTitle(fromUtf8(window_texts::kProgressCaption));
    setWindowModality(Qt::WindowModal);
    setCancelButtonText(fromUtf8(window_texts::kProgressCancel));
    setMinimumDuration(0);
    setAutoClose(false);
    setAutoReset(false);
  }

  // Escape: the toolkit's dialog would only hide itself.
  void reject() override { emit canceled(); }
};

// The local folder a drop names: a dropped folder itself, or the folder of a dropped file; empty
// when the drop holds no local path.
QString droppedFolder(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls()) return {};
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    const QFileInfo dropped(url.toLocalFile());
    if (dropped.filePath().isEmpty()) continue;
    return QDir::cleanPath(dropped.isDir() ? dropped.filePath() : dropped.absolutePath());
  }
  return {};
}

}  // namespace

MainWindow::MainWindow(WindowDialogs& dialogs, FileAccess& files, TimestampRewriter* correction,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      correction_(correction),
      observedCorrection_(correction),
      job_(*this, files, platformPathRules(), &chosen_),
      chooseButton_(new QPushButton(fromUtf8(window_texts::kChooseFolderButton), this)),
      mergeButton_(new QPushButton(fromUtf8(window_texts::kMergeButton), this)),
      folderEdit_(new QPlainTextEdit(this)),
      correctionBox_(new QCheckBox(fromUtf8(window_texts::kCorrectionBox), this)),
      hintLabel_(new QLabel(fromUtf8(window_texts::kCorrectionHint), this)),
      continuousBox_(new QCheckBox(fromUtf8(window_texts::kContinuousBox), this)) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(fromUtf8(window_texts::kCaption));

  chooseButton_->setObjectName(QStringLiteral("按钮1"));
  mergeButton_->setObjectName(QStringLiteral("按钮2"));
  folderEdit_->setObjectName(QStringLiteral("编辑框1"));
  correctionBox_->setObjectName(QStringLiteral("选择框1"));
  hintLabel_->setObjectName(QStringLiteral("标签1"));
  continuousBox_->setObjectName(QStringLiteral("选择框2"));

  // Enter presses no button: it belongs to the folder box.
  for (QPushButton* button : {chooseButton_, mergeButton_}) {
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
  }
  mergeButton_->setEnabled(false);

  folderEdit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  folderEdit_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  folderEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  folderEdit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  folderEdit_->setTabChangesFocus(true);
  folderEdit_->document()->setDocumentMargin(window::kFolderEditMargin);
  {
    // The selection shows only while the box has the focus.
    QPalette palette = folderEdit_->palette();
    palette.setBrush(QPalette::Inactive, QPalette::Highlight,
                     palette.brush(QPalette::Inactive, QPalette::Base));
    palette.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                     palette.brush(QPalette::Inactive, QPalette::Text));
    folderEdit_->setPalette(palette);
  }

  correctionBox_->setChecked(false);
  continuousBox_->setChecked(false);
  // The two timeline boxes exclude each other; both may be clear.
  connect(correctionBox_, &QCheckBox::toggled, this, [this](bool ticked) {
    if (ticked) continuousBox_->setChecked(false);
  });
  connect(continuousBox_, &QCheckBox::toggled, this, [this](bool ticked) {
    if (ticked) correctionBox_->setChecked(false);
  });

  hintLabel_->setWordWrap(true);
  hintLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  hintLabel_->setFocusPolicy(Qt::NoFocus);
  hintLabel_->setTextFormat(Qt::PlainText);

  setTabOrder(chooseButton_, mergeButton_);
  setTabOrder(mergeButton_, folderEdit_);
  setTabOrder(folderEdit_, correctionBox_);
  setTabOrder(correctionBox_, continuousBox_);
  chooseButton_->setFocus(Qt::OtherFocusReason);

  connect(chooseButton_, &QPushButton::clicked, this, &MainWindow::chooseFolder);
  connect(mergeButton_, &QPushButton::clicked, this, &MainWindow::runMerge);
  connect(folderEdit_, &QPlainTextEdit::textChanged, this, &MainWindow::folderTextChanged);

  // Escape closes the window whichever control has the focus; the folder box leaves it alone.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  // Drops on the folder box are the window's too: a path, not the text of a URL.
  setAcceptDrops(true);
  folderEdit_->viewport()->installEventFilter(this);

  const WindowLayout layout = layoutControls();
  chooseButton_->setGeometry(layout.chooseButton);
  mergeButton_->setGeometry(layout.mergeButton);
  folderEdit_->setGeometry(layout.folderEdit);
  correctionBox_->setGeometry(layout.correctionBox);
  hintLabel_->setGeometry(layout.hintLabel);
  continuousBox_->setGeometry(layout.continuousBox);
  setFixedSize(layout.client);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

MainWindow::~MainWindow() = default;

WindowLayout MainWindow::layoutControls() const {
  const auto sizeOf = [](const QSize& size) { return window::Size{size.width(), size.height()}; };
  window::ControlHints hints;
  hints.chooseButton = sizeOf(chooseButton_->sizeHint());
  hints.mergeButton = sizeOf(mergeButton_->sizeHint());
  hints.folderEditLineSpacing = folderEdit_->fontMetrics().lineSpacing();
  hints.folderEditFrame = folderEdit_->frameWidth();
  hints.correctionBox = sizeOf(correctionBox_->sizeHint());
  hints.hintLabelHeightForWidth = [this](int width) { return hintLabel_->heightForWidth(width); };
  hints.continuousBox = sizeOf(continuousBox_->sizeHint());
  const window::WindowLayout placed = window::layoutControls(hints);

  WindowLayout layout;
  layout.chooseButton = toQRect(placed.chooseButton);
  layout.mergeButton = toQRect(placed.mergeButton);
  layout.folderEdit = toQRect(placed.folderEdit);
  layout.correctionBox = toQRect(placed.correctionBox);
  layout.hintLabel = toQRect(placed.hintLabel);
  layout.continuousBox = toQRect(placed.continuousBox);
  layout.client = QSize(placed.client.width, placed.client.height);
  return layout;
}

void MainWindow::createBuckets() { job_.createBuckets(); }

void MainWindow::chooseFolder() {
  const QString folder = dialogs_.chooseFolder(this, fromUtf8(window_texts::kFolderPrompt));
  if (folder.isEmpty()) return;
  writeFolderText(folder);
  mergeButton_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::folderTextChanged() { mergeButton_->setEnabled(true); }

void MainWindow::writeFolderText(const QString& text) {
  {
    // The box's own signal would fire once per internal edit, and not at all for the same text.
    const QSignalBlocker blocker(folderEdit_);
    folderEdit_->setPlainText(text);
  }
  folderTextChanged();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedFolder(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (!droppedFolder(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString folder = droppedFolder(event->mimeData());
  if (folder.isEmpty()) return;
  event->acceptProposedAction();
  writeFolderText(folder);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The folder box would insert a dropped URL as text; a drop of anything else stays its own.
  if (watched == folderEdit_->viewport()) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
        if (auto* drag = static_cast<QDragMoveEvent*>(event);
            !droppedFolder(drag->mimeData()).isEmpty()) {
          drag->acceptProposedAction();
          return true;
        }
        break;
      case QEvent::Drop:
        if (auto* drop = static_cast<QDropEvent*>(event);
            !droppedFolder(drop->mimeData()).isEmpty()) {
          dropEvent(drop);
          return true;
        }
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::runMerge() {
  timelineMode_ = TimelineMode::Plain;
  chosen_.choose(nullptr);
  stopRequested_ = false;
  MergeResult result;
  try {
    result = job_.runMerge();
  } catch (const std::bad_alloc&) {
    fatalError(fromUtf8(window_texts::kOutOfMemory));
  }
  hideProgress();
  showResult(result);
}

void MainWindow::showResult(const MergeResult& result) {
  const std::optional<ResultMessage> message = resultMessage(result, correctionSteps());
  if (!message) return;
  if (!result.succeeded()) {
    messageBox(message->text, message->buttons);
    return;
  }
  mergeButton_->setEnabled(false);
  if (messageBox(message->text, message->buttons) == BoxAnswer::Ok) {
    const std::string folder = platformPathRules().outputFolder(result.outputPath);
    dialogs_.openFolder(QFile::decodeName(QByteArray::fromStdString(folder)));
  }
}

std::string MainWindow::folderText() {
  return QFile::encodeName(folderEdit_->toPlainText()).toStdString();
}

std::optional<CorrectionSteps> MainWindow::correctionSteps() const {
  if (timelineMode_ != TimelineMode::FixTimeline) return std::nullopt;
  // Steps back of the reference stream's decode timestamps, as written and as the sources joined
  // plainly would have them.
  return CorrectionSteps{observedCorrection_.output().stepsBack,
                         observedCorrection_.sources().stepsBack};
}

bool MainWindow::rewriteTimestamps() {
  // Read once, when the merge starts; the boxes exclude each other.
  if (continuousBox_->isChecked()) {
    timelineMode_ = TimelineMode::Continuous;
    chosen_.choose(&continuous_);
  } else if (correctionBox_->isChecked() && correction_ != nullptr) {
    timelineMode_ = TimelineMode::FixTimeline;
    chosen_.choose(&observedCorrection_);
  } else {
    timelineMode_ = TimelineMode::Plain;
    chosen_.choose(nullptr);
  }
  return timelineMode_ != TimelineMode::Plain;
}

std::optional<OutputChoice> MainWindow::chooseOutput(const OutputRequest& request) {
  saveDialog_.type = request.type;
  saveDialog_.filter = QString::fromStdString(request.filter);
  saveDialog_.fileName = QFile::decodeName(QByteArray::fromStdString(request.lastPath));
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("通用对话框1"));
  setUpSaveDialog(dialog, saveDialog_.filter, saveDialog_.fileName);
  const std::optional<QString> chosen = dialogs_.runSaveDialog(dialog);
  if (!chosen || chosen->isEmpty()) return std::nullopt;
  saveDialog_.fileName = *chosen;
  joinClock_.start();
  // The dialog has asked before a file is replaced.
  return OutputChoice{QFile::encodeName(*chosen).toStdString(), true};
}

BoxAnswer MainWindow::messageBox(const std::string& text, MessageButtons buttons) {
  hideProgress();
  return dialogs_.messageBox(this, QString::fromStdString(text), buttons);
}

ProgressAnswer MainWindow::mergeProgress(const MergeProgress& progress) {
  if (stopRequested_) return ProgressAnswer::Stop;
  if (!joinClock_.isValid()) return ProgressAnswer::Continue;
  const qint64 now = joinClock_.elapsed();
  if (progress_ == nullptr || !progress_->isVisible()) {
    if (now < progressDelay_.count()) return ProgressAnswer::Continue;
    showProgress();
    progressShownAt_ = now;
  } else if (now - progressDrawnAt_ < kProgressInterval.count() &&
             progress.filesDone < progress.fileCount) {
    return ProgressAnswer::Continue;
  } else if (now - progressShownAt_ < kProgressInterval.count() * 10) {
    // Some window managers place a new dialog where they like, at the first showing or later.
    centreProgress();
  }
  progressDrawnAt_ = now;
  progress_->setMaximum(static_cast<int>(std::min<std::size_t>(progress.fileCount, INT_MAX)));
  progress_->setValue(static_cast<int>(std::min(progress.filesDone, progress.fileCount)));
  progress_->setLabelText(
      fromUtf8(window_texts::kProgressLabel)
          .arg(progress.filesDone)
          .arg(progress.fileCount)
          .arg(QLocale::system().formattedDataSize(static_cast<qint64>(progress.bytesWritten))));
  // The dialog is modal, so this repaints the windows and takes the dialog's buttons and keys
  // without handing the main window any input.
  QCoreApplication::processEvents();
  return stopRequested_ ? ProgressAnswer::Stop : ProgressAnswer::Continue;
}

void MainWindow::showProgress() {
  if (progress_ == nullptr) {
    progress_ = new MergeProgressDialog(this);
    connect(progress_, &QProgressDialog::canceled, this, [this] { stopRequested_ = true; });
  }
  progress_->setLabelText(fromUtf8(window_texts::kProgressLabel).arg(0).arg(0).arg(QString()));
  progress_->adjustSize();
  centreProgress();
  progress_->show();
}

void MainWindow::centreProgress() {
  // The dialog's frame as large as it will be: its size plus a frame like the window's own.
  const QRect window = frameGeometry();
  const QSize frame = progress_->frameGeometry().size() == progress_->size()
                          ? progress_->size() + (window.size() - size())
                          : progress_->frameGeometry().size();
  QRect placed(QPoint(0, 0), frame);
  placed.moveCenter(window.center());
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() + 1 - placed.width())));
    placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() + 1 - placed.height())));
  }
  if (progress_->pos() != placed.topLeft()) progress_->move(placed.topLeft());
}

void MainWindow::hideProgress() {
  joinClock_.invalidate();
  if (progress_ == nullptr) return;
  // reset() also stops the dialog's own timer, which would show it again after the merge.
  progress_->reset();
  progress_->hide();
}

}  // namespace tsmerge
