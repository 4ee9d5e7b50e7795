#include "ui/main_window.h"

#include <algorithm>
#include <climits>
#include <new>

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextDocument>

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

// Shows how far a long merge has come. The merge cannot be stopped half-way, so the dialog has
// no Cancel button and refuses to be closed; it goes when the merge reports its result.
class MergeProgressDialog final : public QProgressDialog {
 public:
  explicit MergeProgressDialog(QWidget* owner) : QProgressDialog(owner) {
    setObjectName(QStringLiteral("mergeProgress"));
    setWindowTitle(fromUtf8(window_texts::kCaption));
    setWindowModality(Qt::WindowModal);
    setCancelButton(nullptr);
    setMinimumDuration(0);
    setAutoClose(false);
    setAutoReset(false);
  }

  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

MainWindow::MainWindow(WindowDialogs& dialogs, FileAccess& files, TimestampRewriter* rewriter,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      job_(*this, files, platformPathRules(), rewriter),
      chooseButton_(new QPushButton(fromUtf8(window_texts::kChooseFolderButton), this)),
      mergeButton_(new QPushButton(fromUtf8(window_texts::kMergeButton), this)),
      folderEdit_(new QPlainTextEdit(this)),
      correctionBox_(new QCheckBox(fromUtf8(window_texts::kCorrectionBox), this)),
      hintLabel_(new QLabel(fromUtf8(window_texts::kCorrectionHint), this)) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(fromUtf8(window_texts::kCaption));

  chooseButton_->setObjectName(QStringLiteral("按钮1"));
  mergeButton_->setObjectName(QStringLiteral("按钮2"));
  folderEdit_->setObjectName(QStringLiteral("编辑框1"));
  correctionBox_->setObjectName(QStringLiteral("选择框1"));
  hintLabel_->setObjectName(QStringLiteral("标签1"));

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

  hintLabel_->setWordWrap(true);
  hintLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  hintLabel_->setFocusPolicy(Qt::NoFocus);
  hintLabel_->setTextFormat(Qt::PlainText);

  setTabOrder(chooseButton_, mergeButton_);
  setTabOrder(mergeButton_, folderEdit_);
  setTabOrder(folderEdit_, correctionBox_);
  chooseButton_->setFocus(Qt::OtherFocusReason);

  connect(chooseButton_, &QPushButton::clicked, this, &MainWindow::chooseFolder);
  connect(mergeButton_, &QPushButton::clicked, this, &MainWindow::runMerge);
  connect(folderEdit_, &QPlainTextEdit::textChanged, this, &MainWindow::folderTextChanged);

  // Escape closes the window whichever control has the focus; the folder box leaves it alone.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  const WindowLayout layout = layoutControls();
  chooseButton_->setGeometry(layout.chooseButton);
  mergeButton_->setGeometry(layout.mergeButton);
  folderEdit_->setGeometry(layout.folderEdit);
  correctionBox_->setGeometry(layout.correctionBox);
  hintLabel_->setGeometry(layout.hintLabel);
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
  const window::WindowLayout placed = window::layoutControls(hints);

  WindowLayout layout;
  layout.chooseButton = toQRect(placed.chooseButton);
  layout.mergeButton = toQRect(placed.mergeButton);
  layout.folderEdit = toQRect(placed.folderEdit);
  layout.correctionBox = toQRect(placed.correctionBox);
  layout.hintLabel = toQRect(placed.hintLabel);
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

void MainWindow::runMerge() {
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
  const std::optional<ResultMessage> message = resultMessage(result);
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

bool MainWindow::rewriteTimestamps() { return correctionBox_->isChecked(); }

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
  if (progress_ == nullptr || !progress_->isVisible()) {
    if (!joinClock_.isValid() || joinClock_.elapsed() < progressDelay_.count()) {
      return ProgressAnswer::Continue;
    }
    if (progress_ == nullptr) progress_ = new MergeProgressDialog(this);
    progress_->show();
  }
  progress_->setMaximum(static_cast<int>(std::min<std::size_t>(progress.fileCount, INT_MAX)));
  progress_->setValue(static_cast<int>(std::min(progress.filesDone, progress.fileCount)));
  progress_->setLabelText(
      fromUtf8(window_texts::kProgressLabel)
          .arg(progress.filesDone)
          .arg(progress.fileCount)
          .arg(QLocale::system().formattedDataSize(static_cast<qint64>(progress.bytesWritten))));
  // The dialog is modal, so this repaints the windows without handing the main window any input.
  QCoreApplication::processEvents();
  return ProgressAnswer::Continue;
}

void MainWindow::hideProgress() {
  joinClock_.invalidate();
  if (progress_ == nullptr) return;
  // reset() also stops the dialog's own timer, which would show it again after the merge.
  progress_->reset();
  progress_->hide();
}

}  // namespace tsmerge
