// The window on the offscreen platform, with its dialogs answered from a script and real files in
// a temporary folder.

#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "platform/posix_file_access.h"
#include "scripted_dialogs.h"
#include "ui/main_window.h"
#include "ui/program.h"

using tsmerge::BoxAnswer;
using tsmerge::MainWindow;
using tsmerge::MessageButtons;
using tsmerge::testing::CountingRewriter;
using tsmerge::testing::ScriptedDialogs;

Q_DECLARE_METATYPE(MessageButtons)
Q_DECLARE_METATYPE(BoxAnswer)
Q_DECLARE_METATYPE(tsmerge::TimelineMode)

namespace {

// The window's texts as the user must see them, written out here on their own.
const QString kCaption = QStringLiteral("文件合并");
const QString kBadFolderPath = QStringLiteral("目录路径非法！请检查源文件目录是否正确。");
const QString kDriveRoot =
    QStringLiteral("您选择了磁盘根目录！程序不能处理如此多的文件，请重新选择。");
const QString kSucceeded = QStringLiteral("操作成功完成！是否打开输出目录。");
const QString kWriteFailed = QStringLiteral("写出文件失败！请检查源文件目录是否可读。");
const QString kFilter = QStringLiteral("所有文件 请输入[文件名]+[文件类型]");
const QString kContinuousBox = QStringLiteral("为所有音视频流生成\n连续时间轴（推荐）");
const QString kCancelled = QStringLiteral("合并已取消，没有写出任何文件。");

QByteArray readAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
  return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  QCOMPARE(file.write(bytes), bytes.size());
}

// A source that starts like a transport stream: sync byte, then its name as payload.
QByteArray segment(const QByteArray& tag) { return QByteArray(1, '\x47') + tag.repeated(20); }

// One window with everything it works with.
struct Harness {
  ScriptedDialogs dialogs;
  tsmerge::PosixFileAccess files;
  CountingRewriter rewriter;
  std::unique_ptr<MainWindow> window;

  Harness() {
    window = std::make_unique<MainWindow>(dialogs, files, &rewriter);
    window->createBuckets();
  }

  QPushButton* chooseButton() const { return window->findChild<QPushButton*>("按钮1"); }
  QPushButton* mergeButton() const { return window->findChild<QPushButton*>("按钮2"); }
  QPlainTextEdit* folderEdit() const { return window->findChild<QPlainTextEdit*>("编辑框1"); }
  QCheckBox* correctionBox() const { return window->findChild<QCheckBox*>("选择框1"); }
  QLabel* hintLabel() const { return window->findChild<QLabel*>("标签1"); }
  QCheckBox* continuousBox() const { return window->findChild<QCheckBox*>("选择框2"); }

  bool showActive() {
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get());
  }

  // The save dialog confirms this path and records what it offered.
  void confirmSaveAs(const QString& path) {
    dialogs.onSaveDialog = [path](QFileDialog&) { return std::optional<QString>(path); };
  }
};

QString focusName() {
  QWidget* focus = QApplication::focusWidget();
  return focus ? focus->objectName() : QStringLiteral("<none>");
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithTheControlsInTheirInitialStates();
  void createdHiddenWithItsBucketsMade();
  void checkBoxCorrectsWithTheProgramsTimelineState();
  void keepsTheStandardPlacesWhenTheTextsFit();
  void growsJustEnoughThatNoTextIsCutOff_data();
  void growsJustEnoughThatNoTextIsCutOff();
  void isFixedInSizeAndCentredOnTheScreen();
  void focusStartsOnTheChooseButton();
  void tabCyclesTheControls_data();
  void tabCyclesTheControls();
  void escapeClosesTheWindowFromEveryControl_data();
  void escapeClosesTheWindowFromEveryControl();
  void enterBreaksTheLineInTheEditBoxAndPressesNothingElse();
  void spacePressesTheFocusedControl();
  void everyChangeOfTheFolderTextEnablesMerging_data();
  void everyChangeOfTheFolderTextEnablesMerging();
  void chooseFolderCancelledChangesNothing();
  void chooseFolderWritesThePathAndFocusesMerging();
  void successfulMergeJoinsInNameOrderAndDisablesMerging_data();
  void successfulMergeJoinsInNameOrderAndDisablesMerging();
  void failedMergeReportsAndLeavesMergingEnabled();
  void cancelledSaveDialogEndsSilently();
  void pathMessagesComeAloneAndLeaveMergingEnabled_data();
  void pathMessagesComeAloneAndLeaveMergingEnabled();
  void saveDialogIsPreparedAndOffersTheLastPath();
  void checkBoxIsReadOnceBeforeTheSaveDialog_data();
  void checkBoxIsReadOnceBeforeTheSaveDialog();
  void longMergeShowsAModalProgressDialog();
  void shortMergeShowsNoProgress();
  void timelineBoxesExcludeEachOther();
  void continuousBoxMergesAsTheCommandLine();
  void correctionThatBreaksTheTimelineIsTold_data();
  void correctionThatBreaksTheTimelineIsTold();
  void dropPutsTheFolderIntoTheBox_data();
  void dropPutsTheFolderIntoTheBox();
  void dropOfNoLocalPathIsRefused();
  void progressIsDrawnAtMostTenTimesASecond();
  void cancelStopsTheMergeAndLeavesNothing_data();
  void cancelStopsTheMergeAndLeavesNothing();
  void selectionShowsOnlyWhileTheEditBoxHasTheFocus();
  void longPathWrapsAndScrollsWithTheCaret();

 private:
  QTemporaryDir temp_;
};

void MainWindowTest::startsWithTheControlsInTheirInitialStates() {
  Harness h;
  QCOMPARE(h.window->windowTitle(), kCaption);
  QCOMPARE(h.window->objectName(), QStringLiteral("MainWindow"));

  const struct {
    QWidget* control;
    const char* className;
    QString text;
    bool enabled;
  } kControls[] = {
      {h.chooseButton(), "QPushButton", QStringLiteral("添加目录"), true},
      {h.mergeButton(), "QPushButton", QStringLiteral("合并文件"), false},
      {h.folderEdit(), "QPlainTextEdit", QString(), true},
      {h.correctionBox(), "QCheckBox", QStringLiteral("纠正分段文件时间轴错误"), true},
      {h.hintLabel(), "QLabel",
       QStringLiteral("如果合并的ts文件时间轴错误请勾选上面的选择框进行尝试"), true},
      {h.continuousBox(), "QCheckBox", kContinuousBox, true},
  };
  for (const auto& c : kControls) {
    QVERIFY2(c.control != nullptr, c.className);
    QCOMPARE(c.control->metaObject()->className(), c.className);
    QCOMPARE(c.control->isEnabled(), c.enabled);
    QVERIFY(!c.control->isHidden());
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(c.control)) text = button->text();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(c.control)) text = edit->toPlainText();
    if (auto* label = qobject_cast<QLabel*>(c.control)) text = label->text();
    QCOMPARE(text, c.text);
  }
  QVERIFY(!h.correctionBox()->isChecked());
  QVERIFY(!h.correctionBox()->isTristate());
  QVERIFY(!h.continuousBox()->isChecked());
  QVERIFY(!h.continuousBox()->isTristate());
  QCOMPARE(h.hintLabel()->focusPolicy(), Qt::NoFocus);
  QVERIFY(h.hintLabel()->wordWrap());

  for (QPushButton* button : {h.chooseButton(), h.mergeButton()}) {
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
    QVERIFY(button->icon().isNull());
  }

  QPlainTextEdit* edit = h.folderEdit();
  QVERIFY(!edit->isReadOnly());
  QVERIFY(edit->tabChangesFocus());
  QCOMPARE(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  QCOMPARE(edit->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
  QCOMPARE(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  QCOMPARE(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

  // Only the five visible controls take part; no list or combo box is ever seen.
  QVERIFY(h.window->findChildren<QComboBox*>().isEmpty());
}

void MainWindowTest::createdHiddenWithItsBucketsMade() {
  tsmerge::initProgramState();
  QVERIFY(tsmerge::programState() != nullptr);
  {
    std::unique_ptr<MainWindow> window = tsmerge::createMainWindow(*tsmerge::programState());
    QVERIFY(window != nullptr);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->job().buckets().lastBucket(), std::size_t{99});
    QVERIFY(window->job().pathParts().empty());
  }
  tsmerge::releaseProgramState();
  QVERIFY(tsmerge::programState() == nullptr);
}

void MainWindowTest::checkBoxCorrectsWithTheProgramsTimelineState() {
  // Three of the bundled segments, whose clocks start again in every file.
  QTemporaryDir sources;
  QByteArray joined;
  for (const char* name : {"1.ts", "2.ts", "3.ts"}) {
    const QByteArray bytes = readAll(QStringLiteral(TSMERGE_SAMPLES_DIR "/") + name);
    QVERIFY(bytes.size() > 188 * 3);
    writeFile(sources.filePath(name), bytes);
    joined += bytes;
  }
  QTemporaryDir outputs;

  tsmerge::initProgramState();
  tsmerge::ProgramState& state = *tsmerge::programState();
  QCOMPARE(state.timeline.pcrStep, 0);
  QCOMPARE(state.timeline.ptsBase, 0);
  QCOMPARE(state.timeline.lastTimestamp, 0);
  QCOMPARE(state.timeline.outputPcr, 0);
  ScriptedDialogs dialogs;
  dialogs.messageAnswers = {BoxAnswer::Cancel, BoxAnswer::Cancel};
  state.dialogs = &dialogs;
  {
    std::unique_ptr<MainWindow> window = tsmerge::createMainWindow(state);
    auto* box = window->findChild<QCheckBox*>("选择框1");
    const QString plain = outputs.filePath("plain.ts");
    const QString corrected = outputs.filePath("corrected.ts");

    dialogs.onSaveDialog = [&](QFileDialog&) { return std::optional<QString>(plain); };
    window->writeFolderText(sources.path());
    window->runMerge();
    QCOMPARE(readAll(plain), joined);
    QCOMPARE(state.timeline.pcrStep, 0);

    box->setChecked(true);
    dialogs.onSaveDialog = [&](QFileDialog&) { return std::optional<QString>(corrected); };
    window->writeFolderText(sources.path());
    window->runMerge();
    const QByteArray rewritten = readAll(corrected);
    QCOMPARE(rewritten.size(), joined.size());
    QVERIFY(rewritten != joined);
    // The interval learned in this merge stays in the program's state for the next one.
    QVERIFY(state.timeline.pcrStep != 0);
    QCOMPARE(dialogs.log.size(), 4);
    QCOMPARE(dialogs.log.mid(0, 3), (QStringList{"save", "message:" + kSucceeded, "save"}));
    // These clocks restart, and the correction leaves them stepping back: a line says so.
    QVERIFY(dialogs.log[3].startsWith("message:" + kSucceeded + "\n"));
  }
  tsmerge::releaseProgramState();
}

void MainWindowTest::keepsTheStandardPlacesWhenTheTextsFit() {
  const QFont saved = QApplication::font();
  QFont tiny = saved;
  tiny.setPixelSize(6);
  QApplication::setFont(tiny);
  {
    Harness h;
    QCOMPARE(h.chooseButton()->geometry(), QRect(8, 8, 80, 32));
    QCOMPARE(h.mergeButton()->geometry(), QRect(104, 8, 80, 32));
    QCOMPARE(h.folderEdit()->geometry(), QRect(8, 48, 176, 40));
    QCOMPARE(h.correctionBox()->geometry(), QRect(16, 88, 152, 24));
    QCOMPARE(h.hintLabel()->geometry(), QRect(32, 112, 160, 24));
    // The continuous-timeline box takes a row of its own below.
    QCOMPARE(h.continuousBox()->geometry(), QRect(16, 136, 168, 32));
    QCOMPARE(h.window->size(), QSize(192, 168));
  }
  QApplication::setFont(saved);
}

void MainWindowTest::growsJustEnoughThatNoTextIsCutOff_data() {
  QTest::addColumn<int>("pixelSize");  // 0: the desktop's own font
  QTest::newRow("desktop font") << 0;
  QTest::newRow("12 px") << 12;
  QTest::newRow("16 px") << 16;
  QTest::newRow("24 px") << 24;
}

void MainWindowTest::growsJustEnoughThatNoTextIsCutOff() {
  QFETCH(int, pixelSize);
  const QFont saved = QApplication::font();
  if (pixelSize > 0) {
    QFont font = saved;
    font.setPixelSize(pixelSize);
    QApplication::setFont(font);
  }
  {
    Harness h;
    const QRect client = h.window->rect();
    QVERIFY(client.width() >= 192 && client.height() >= 136);

    for (QPushButton* button : {h.chooseButton(), h.mergeButton()}) {
      QVERIFY(button->width() >= button->sizeHint().width());
      QVERIFY(button->height() >= button->sizeHint().height());
    }
    for (QCheckBox* box : {h.correctionBox(), h.continuousBox()}) {
      QVERIFY(box->width() >= box->sizeHint().width());
      QVERIFY(box->height() >= box->sizeHint().height());
    }
    QLabel* label = h.hintLabel();
    QVERIFY2(label->height() >= label->heightForWidth(label->width()),
             qPrintable(QStringLiteral("label %1 high, text needs %2")
                            .arg(label->height())
                            .arg(label->heightForWidth(label->width()))));
    // Two lines of the folder text show without scrolling.
    QPlainTextEdit* edit = h.folderEdit();
    QVERIFY(edit->contentsRect().height() >= 2 * edit->fontMetrics().lineSpacing());

    const QList<QWidget*> controls = {h.chooseButton(), h.mergeButton(), h.folderEdit(),
                                      h.correctionBox(), h.hintLabel(), h.continuousBox()};
    for (qsizetype i = 0; i < controls.size(); ++i) {
      QVERIFY2(client.contains(controls[i]->geometry()), qPrintable(controls[i]->objectName()));
      for (qsizetype j = i + 1; j < controls.size(); ++j) {
        QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                 qPrintable(controls[i]->objectName() + " / " + controls[j]->objectName()));
      }
    }
    // Just enough: the continuous-timeline box's row starts where the label ends (or at 136,
    // where the label ends higher), and the window ends with it.
    QCOMPARE(h.continuousBox()->y(), std::max(136, label->geometry().bottom() + 1));
    QCOMPARE(client.height(), h.continuousBox()->geometry().bottom() + 1);
  }
  QApplication::setFont(saved);
}

void MainWindowTest::isFixedInSizeAndCentredOnTheScreen() {
  Harness h;
  QCOMPARE(h.window->minimumSize(), h.window->maximumSize());
  QCOMPARE(h.window->size(), h.window->minimumSize());
  const Qt::WindowFlags flags = h.window->windowFlags();
  QVERIFY(flags.testFlag(Qt::Window));
  QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
  QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
  QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowStaysOnTopHint));

  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  QCOMPARE(h.window->pos(), QPoint(screen.x() + (screen.width() - h.window->width()) / 2,
                                   screen.y() + (screen.height() - h.window->height()) / 2));
}

void MainWindowTest::focusStartsOnTheChooseButton() {
  Harness h;
  QVERIFY(h.showActive());
  QCOMPARE(focusName(), QStringLiteral("按钮1"));

  // Away to another window and back: the control that had the focus gets it again.
  h.correctionBox()->setFocus();
  QWidget other;
  other.show();
  other.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&other));
  QVERIFY(QApplication::focusWidget() != h.correctionBox());
  QVERIFY(h.showActive());
  QCOMPARE(focusName(), QStringLiteral("选择框1"));
}

void MainWindowTest::tabCyclesTheControls_data() {
  QTest::addColumn<bool>("mergeEnabled");
  QTest::addColumn<bool>("backward");
  QTest::addColumn<QStringList>("expected");  // the focus after each key, starting on 按钮1
  QTest::newRow("Tab, merge disabled")
      << false << false << QStringList{"编辑框1", "选择框1", "选择框2", "按钮1", "编辑框1"};
  QTest::newRow("Tab, merge enabled")
      << true << false << QStringList{"按钮2", "编辑框1", "选择框1", "选择框2", "按钮1", "按钮2"};
  QTest::newRow("Shift+Tab, merge disabled")
      << false << true << QStringList{"选择框2", "选择框1", "编辑框1", "按钮1", "选择框2"};
  QTest::newRow("Shift+Tab, merge enabled")
      << true << true << QStringList{"选择框2", "选择框1", "编辑框1", "按钮2", "按钮1", "选择框2"};
}

void MainWindowTest::tabCyclesTheControls() {
  QFETCH(bool, mergeEnabled);
  QFETCH(bool, backward);
  QFETCH(QStringList, expected);
  Harness h;
  if (mergeEnabled) h.window->writeFolderText(QString());
  QCOMPARE(h.mergeButton()->isEnabled(), mergeEnabled);
  QVERIFY(h.showActive());
  h.chooseButton()->setFocus();
  QCOMPARE(focusName(), QStringLiteral("按钮1"));
  QStringList seen;
  for (qsizetype i = 0; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), backward ? Qt::Key_Backtab : Qt::Key_Tab,
                    backward ? Qt::ShiftModifier : Qt::NoModifier);
    seen.append(focusName());
  }
  QCOMPARE(seen, expected);
  // Tab moved through the edit box without typing into it.
  QCOMPARE(h.folderEdit()->toPlainText(), QString());
}

void MainWindowTest::escapeClosesTheWindowFromEveryControl_data() {
  QTest::addColumn<QString>("control");
  QTest::newRow("按钮1") << QStringLiteral("按钮1");
  QTest::newRow("按钮2") << QStringLiteral("按钮2");
  QTest::newRow("编辑框1") << QStringLiteral("编辑框1");
  QTest::newRow("选择框1") << QStringLiteral("选择框1");
  QTest::newRow("选择框2") << QStringLiteral("选择框2");
}

void MainWindowTest::escapeClosesTheWindowFromEveryControl() {
  QFETCH(QString, control);
  Harness h;
  h.window->writeFolderText(QStringLiteral("/some/folder"));
  QVERIFY(h.showActive());
  auto* widget = h.window->findChild<QWidget*>(control);
  QVERIFY(widget != nullptr);
  widget->setFocus();
  QCOMPARE(focusName(), control);
  QTest::keyClick(widget, Qt::Key_Escape);
  QVERIFY(!h.window->isVisible());
  QVERIFY(h.dialogs.log.isEmpty());
  QCOMPARE(h.folderEdit()->toPlainText(), QStringLiteral("/some/folder"));
}

void MainWindowTest::enterBreaksTheLineInTheEditBoxAndPressesNothingElse() {
  Harness h;
  QVERIFY(h.showActive());
  h.folderEdit()->setFocus();
  QTest::keyClicks(h.folderEdit(), QStringLiteral("/a"));
  QTest::keyClick(h.folderEdit(), Qt::Key_Return);
  QTest::keyClicks(h.folderEdit(), QStringLiteral("b"));
  QTest::keyClick(h.folderEdit(), Qt::Key_Enter, Qt::KeypadModifier);
  QCOMPARE(h.folderEdit()->toPlainText(), QStringLiteral("/a\nb\n"));
  QVERIFY(h.mergeButton()->isEnabled());

  // On the buttons and the check box, Enter does nothing at all.
  for (QWidget* widget : {static_cast<QWidget*>(h.chooseButton()),
                          static_cast<QWidget*>(h.mergeButton()),
                          static_cast<QWidget*>(h.correctionBox())}) {
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_Return);
    QTest::keyClick(widget, Qt::Key_Enter, Qt::KeypadModifier);
  }
  QVERIFY(h.dialogs.log.isEmpty());
  QVERIFY(!h.correctionBox()->isChecked());
  QVERIFY(h.window->isVisible());
}

void MainWindowTest::spacePressesTheFocusedControl() {
  Harness h;
  QVERIFY(h.showActive());
  h.correctionBox()->setFocus();
  QTest::keyClick(h.correctionBox(), Qt::Key_Space);
  QVERIFY(h.correctionBox()->isChecked());
  QTest::keyClick(h.correctionBox(), Qt::Key_Space);
  QVERIFY(!h.correctionBox()->isChecked());

  h.chooseButton()->setFocus();
  QTest::keyClick(h.chooseButton(), Qt::Key_Space);
  QCOMPARE(h.dialogs.log, QStringList{"folder"});

  h.window->writeFolderText(QStringLiteral("relative"));
  h.mergeButton()->setFocus();
  QTest::keyClick(h.mergeButton(), Qt::Key_Space);
  QCOMPARE(h.dialogs.log, (QStringList{"folder", "message:" + kBadFolderPath}));
}

void MainWindowTest::everyChangeOfTheFolderTextEnablesMerging_data() {
  QTest::addColumn<int>("change");
  enum { Type, Backspace, Paste, Cut, Undo, WriteSame, WriteEmpty };
  QTest::newRow("typing a character") << int(Type);
  QTest::newRow("deleting a character") << int(Backspace);
  QTest::newRow("paste") << int(Paste);
  QTest::newRow("cut") << int(Cut);
  QTest::newRow("undo") << int(Undo);
  QTest::newRow("program writes the same text") << int(WriteSame);
  QTest::newRow("program writes an empty text") << int(WriteEmpty);
}

void MainWindowTest::everyChangeOfTheFolderTextEnablesMerging() {
  QFETCH(int, change);
  Harness h;
  QVERIFY(h.showActive());
  QPlainTextEdit* edit = h.folderEdit();
  edit->setFocus();
  QTest::keyClicks(edit, QStringLiteral("/tmp"));
  QVERIFY(h.mergeButton()->isEnabled());
  // As after a successful merge: only a change of the text enables the button again.
  h.mergeButton()->setEnabled(false);

  switch (change) {
    case 0: QTest::keyClicks(edit, QStringLiteral("x")); break;
    case 1: QTest::keyClick(edit, Qt::Key_Backspace); break;
    case 2:
      QGuiApplication::clipboard()->setText(QStringLiteral("/pasted"));
      edit->paste();
      break;
    case 3:
      edit->selectAll();
      edit->cut();
      break;
    case 4: edit->undo(); break;
    case 5: h.window->writeFolderText(QStringLiteral("/tmp")); break;
    case 6: h.window->writeFolderText(QString()); break;
  }
  QVERIFY(h.mergeButton()->isEnabled());
  QVERIFY(h.dialogs.log.isEmpty());
}

void MainWindowTest::chooseFolderCancelledChangesNothing() {
  Harness h;
  QVERIFY(h.showActive());
  h.dialogs.folderAnswer = QString();
  QTest::mouseClick(h.chooseButton(), Qt::LeftButton);
  QCOMPARE(h.dialogs.log, QStringList{"folder"});
  QCOMPARE(h.folderEdit()->toPlainText(), QString());
  QVERIFY(!h.mergeButton()->isEnabled());
  QCOMPARE(focusName(), QStringLiteral("按钮1"));
}

void MainWindowTest::chooseFolderWritesThePathAndFocusesMerging() {
  const QString kFolders[] = {temp_.path(), QStringLiteral("/"), temp_.path() + "/带 空格 的目录"};
  for (const QString& folder : kFolders) {
    Harness h;
    QVERIFY(h.showActive());
    h.window->writeFolderText(QStringLiteral("/old"));
    h.mergeButton()->setEnabled(false);
    h.dialogs.folderAnswer = folder;
    h.chooseButton()->setFocus();
    h.window->chooseFolder();
    QCOMPARE(h.dialogs.prompts, QStringList{"请您选择要打开的目录"});
    QCOMPARE(h.dialogs.folderOwners.at(0), h.window.get());
    QCOMPARE(h.folderEdit()->toPlainText(), folder);
    QVERIFY(h.mergeButton()->isEnabled());
    QCOMPARE(focusName(), QStringLiteral("按钮2"));

    // Choosing it again writes the same text, which still enables the button.
    h.mergeButton()->setEnabled(false);
    h.window->chooseFolder();
    QCOMPARE(h.folderEdit()->toPlainText(), folder);
    QVERIFY(h.mergeButton()->isEnabled());
  }
}

void MainWindowTest::successfulMergeJoinsInNameOrderAndDisablesMerging_data() {
  QTest::addColumn<BoxAnswer>("answer");
  QTest::addColumn<bool>("opensFolder");
  QTest::newRow("OK opens the output folder") << BoxAnswer::Ok << true;
  QTest::newRow("Cancel does not") << BoxAnswer::Cancel << false;
}

void MainWindowTest::successfulMergeJoinsInNameOrderAndDisablesMerging() {
  QFETCH(BoxAnswer, answer);
  QFETCH(bool, opensFolder);
  QTemporaryDir sources;
  QTemporaryDir outputs;
  writeFile(sources.filePath("10.ts"), "ten|");
  writeFile(sources.filePath("2.ts"), "two|");
  writeFile(sources.filePath("1.ts"), "one|");
  writeFile(sources.filePath("B.ts"), "bee|");
  const QString output = outputs.filePath("joined.ts");

  Harness h;
  QVERIFY(h.showActive());
  h.window->writeFolderText(sources.path());
  h.confirmSaveAs(output);
  h.dialogs.messageAnswers = {answer};
  h.dialogs.onMessage = [&h](const ScriptedDialogs::Message&) {
    // The button is disabled before the success message shows.
    QVERIFY(!h.mergeButton()->isEnabled());
  };
  QTest::mouseClick(h.mergeButton(), Qt::LeftButton);

  QCOMPARE(readAll(output), QByteArray("one|two|bee|ten|"));
  QStringList expected{"save", "message:" + kSucceeded};
  if (opensFolder) expected.append("open:" + outputs.path() + "/");
  QCOMPARE(h.dialogs.log, expected);
  QCOMPARE(h.dialogs.messages.at(0).buttons, MessageButtons::OkCancel);
  QCOMPARE(h.dialogs.messages.at(0).owner, h.window.get());
  QVERIFY(!h.mergeButton()->isEnabled());

  // Clicking the disabled button does nothing; writing the same folder again enables it.
  QTest::mouseClick(h.mergeButton(), Qt::LeftButton);
  QCOMPARE(h.dialogs.log, expected);
  h.window->writeFolderText(sources.path());
  QVERIFY(h.mergeButton()->isEnabled());
}

void MainWindowTest::failedMergeReportsAndLeavesMergingEnabled() {
  QTemporaryDir sources;  // holds only a sub-folder: nothing to join
  QVERIFY(QDir(sources.path()).mkdir("sub"));
  QTemporaryDir outputs;
  const QString output = outputs.filePath("joined.ts");

  Harness h;
  h.window->writeFolderText(sources.path());
  h.confirmSaveAs(output);
  h.window->runMerge();

  QCOMPARE(h.dialogs.log, (QStringList{"save", "message:" + kWriteFailed}));
  QCOMPARE(h.dialogs.messages.at(0).buttons, MessageButtons::Ok);
  QVERIFY(h.mergeButton()->isEnabled());
  QVERIFY(!QFile::exists(output));
}

void MainWindowTest::cancelledSaveDialogEndsSilently() {
  QTemporaryDir sources;
  writeFile(sources.filePath("1.ts"), "one");
  Harness h;
  h.window->writeFolderText(sources.path());
  h.window->runMerge();  // the script cancels the dialog
  QCOMPARE(h.dialogs.log, QStringList{"save"});
  QVERIFY(h.mergeButton()->isEnabled());
  QCOMPARE(QDir(sources.path()).entryList(QDir::Files), QStringList{"1.ts"});
}

void MainWindowTest::pathMessagesComeAloneAndLeaveMergingEnabled_data() {
  QTest::addColumn<QString>("folderText");
  QTest::addColumn<QString>("message");
  QTest::newRow("empty") << QString() << kBadFolderPath;
  QTest::newRow("relative") << QStringLiteral("videos/segments") << kBadFolderPath;
  QTest::newRow("line break first") << QStringLiteral("\n/tmp") << kBadFolderPath;
  QTest::newRow("root") << QStringLiteral("/") << kDriveRoot;
}

void MainWindowTest::pathMessagesComeAloneAndLeaveMergingEnabled() {
  QFETCH(QString, folderText);
  QFETCH(QString, message);
  Harness h;
  h.confirmSaveAs(temp_.filePath("never.ts"));
  h.window->writeFolderText(folderText);
  h.window->runMerge();
  QCOMPARE(h.dialogs.log, QStringList{"message:" + message});
  QCOMPARE(h.dialogs.messages.at(0).buttons, MessageButtons::Ok);
  QCOMPARE(h.dialogs.messages.at(0).owner, h.window.get());
  QVERIFY(h.mergeButton()->isEnabled());
  QVERIFY(!QFile::exists(temp_.filePath("never.ts")));
}

void MainWindowTest::saveDialogIsPreparedAndOffersTheLastPath() {
  QTemporaryDir sources;
  writeFile(sources.filePath("1.ts"), "one");
  QTemporaryDir outputs;
  const QString first = outputs.filePath("first.ts");

  Harness h;
  struct Seen {
    QFileDialog::AcceptMode mode;
    QFileDialog::FileMode fileMode;
    QStringList filters;
    bool hideDetails;
    bool confirmsOverwrite;
    QString suffix;
    QString name;
    QString offeredName;
    QString offeredFolder;
    QObject* parent;
  };
  std::vector<Seen> seen;
  QString answer = first;
  h.dialogs.onSaveDialog = [&](QFileDialog& dialog) {
    auto* nameEdit = dialog.findChild<QLineEdit*>("fileNameEdit");
    seen.push_back({dialog.acceptMode(), dialog.fileMode(), dialog.nameFilters(),
                    dialog.testOption(QFileDialog::HideNameFilterDetails),
                    !dialog.testOption(QFileDialog::DontConfirmOverwrite), dialog.defaultSuffix(),
                    dialog.objectName(), nameEdit ? nameEdit->text() : QStringLiteral("<none>"),
                    dialog.directory().absolutePath(), dialog.parent()});
    return answer.isEmpty() ? std::nullopt : std::optional<QString>(answer);
  };

  h.window->writeFolderText(sources.path());
  h.window->runMerge();
  answer = QString();  // the second dialog is cancelled
  h.window->writeFolderText(sources.path());
  h.window->runMerge();

  QCOMPARE(seen.size(), std::size_t{2});
  for (const Seen& s : seen) {
    QCOMPARE(s.mode, QFileDialog::AcceptSave);
    QCOMPARE(s.fileMode, QFileDialog::AnyFile);
    QCOMPARE(s.filters, QStringList{kFilter + " (*)"});
    QVERIFY(s.hideDetails);
    QVERIFY(s.confirmsOverwrite);
    QCOMPARE(s.suffix, QString());
    QCOMPARE(s.name, QStringLiteral("通用对话框1"));
    QCOMPARE(s.parent, h.window.get());
  }
  QCOMPARE(seen[0].offeredName, QString());
  QCOMPARE(seen[1].offeredName, QStringLiteral("first.ts"));
  QCOMPARE(seen[1].offeredFolder, QDir(outputs.path()).absolutePath());
  QCOMPARE(h.window->saveDialog().fileName, first);
}

void MainWindowTest::checkBoxIsReadOnceBeforeTheSaveDialog_data() {
  // The box ticked before the merge and the one ticked while its save dialog is open ("": both
  // clear); what the Part's corrector was asked for, and what the merge did.
  QTest::addColumn<QString>("tickedBefore");
  QTest::addColumn<QString>("tickedInDialog");
  QTest::addColumn<int>("resets");
  QTest::addColumn<int>("pieces");
  QTest::addColumn<tsmerge::TimelineMode>("mode");
  using tsmerge::TimelineMode;
  QTest::newRow("选择框1 ticked, cleared while the dialog is open")
      << "选择框1" << "" << 1 << 2 << TimelineMode::FixTimeline;
  QTest::newRow("clear, 选择框1 ticked while the dialog is open")
      << "" << "选择框1" << 0 << 0 << TimelineMode::Plain;
  QTest::newRow("选择框1 ticked throughout")
      << "选择框1" << "选择框1" << 1 << 2 << TimelineMode::FixTimeline;
  QTest::newRow("clear throughout") << "" << "" << 0 << 0 << TimelineMode::Plain;
  QTest::newRow("选择框2 ticked, 选择框1 ticked while the dialog is open")
      << "选择框2" << "选择框1" << 0 << 0 << TimelineMode::Continuous;
  QTest::newRow("选择框1 ticked, 选择框2 ticked while the dialog is open")
      << "选择框1" << "选择框2" << 1 << 2 << TimelineMode::FixTimeline;
  QTest::newRow("clear, 选择框2 ticked while the dialog is open")
      << "" << "选择框2" << 0 << 0 << TimelineMode::Plain;
}

void MainWindowTest::checkBoxIsReadOnceBeforeTheSaveDialog() {
  QFETCH(QString, tickedBefore);
  QFETCH(QString, tickedInDialog);
  QFETCH(int, resets);
  QFETCH(int, pieces);
  QFETCH(tsmerge::TimelineMode, mode);
  QTemporaryDir sources;
  writeFile(sources.filePath("1.ts"), segment("a"));
  writeFile(sources.filePath("2.ts"), segment("b"));
  writeFile(sources.filePath("3.txt"), "not a stream");  // never handed to the corrector
  QTemporaryDir outputs;

  Harness h;
  const auto tick = [&h](const QString& box) {
    h.correctionBox()->setChecked(false);
    h.continuousBox()->setChecked(false);
    if (!box.isEmpty()) h.window->findChild<QCheckBox*>(box)->setChecked(true);
  };
  tick(tickedBefore);
  h.window->writeFolderText(sources.path());
  const QString output = outputs.filePath("out.ts");
  int resetsBeforeDialog = -1;
  h.dialogs.onSaveDialog = [&](QFileDialog&) {
    resetsBeforeDialog = h.rewriter.resets;
    tick(tickedInDialog);
    return std::optional<QString>(output);
  };
  h.window->runMerge();
  QCOMPARE(resetsBeforeDialog, resets);
  QCOMPARE(h.rewriter.resets, resets);
  QCOMPARE(h.rewriter.pieces, pieces);
  QCOMPARE(h.window->lastTimelineMode(), mode);
  QCOMPARE(h.dialogs.log.at(1), "message:" + kSucceeded);
}

void MainWindowTest::longMergeShowsAModalProgressDialog() {
  QTemporaryDir sources;
  writeFile(sources.filePath("1.ts"), "one");
  writeFile(sources.filePath("2.ts"), "two");
  writeFile(sources.filePath("3.ts"), "three");
  QTemporaryDir outputs;

  Harness h;
  QVERIFY(h.showActive());
  h.window->setProgressDelay(std::chrono::milliseconds(0));
  h.window->writeFolderText(sources.path());
  h.confirmSaveAs(outputs.filePath("out.ts"));
  bool hiddenAtMessage = false;
  h.dialogs.onMessage = [&](const ScriptedDialogs::Message&) {
    auto* progress = h.window->findChild<QProgressDialog*>("mergeProgress");
    hiddenAtMessage = progress != nullptr && !progress->isVisible();
  };
  // Watch the dialog while the merge runs: it shows after the first file.
  QStringList shown;
  QTimer watcher;
  // The merge runs inside this call; the progress dialog's own event processing runs the timer.
  connect(&watcher, &QTimer::timeout, [&] {
    auto* progress = h.window->findChild<QProgressDialog*>("mergeProgress");
    if (progress && progress->isVisible()) {
      shown.append(QStringLiteral("%1 modal=%2 active=%3")
                       .arg(progress->labelText().section('\n', 0, 0))
                       .arg(progress->isModal())
                       .arg(QApplication::activeModalWidget() == progress));
    }
  });
  watcher.start(0);
  h.window->runMerge();
  watcher.stop();

  QCOMPARE(readAll(outputs.filePath("out.ts")), QByteArray("onetwothree"));
  QVERIFY(!shown.isEmpty());
  QVERIFY2(shown.first().endsWith("modal=1 active=1"), qPrintable(shown.first()));
  QVERIFY(hiddenAtMessage);
  auto* progress = h.window->findChild<QProgressDialog*>("mergeProgress");
  QVERIFY(progress != nullptr);
  QVERIFY(!progress->isVisible());
  QCOMPARE(progress->maximum(), 3);
  QVERIFY(progress->labelText().startsWith(QStringLiteral("正在合并文件：3 / 3")));
  QCOMPARE(h.dialogs.log, (QStringList{"save", "message:" + kSucceeded, "open:" + outputs.path() + "/"}));
  // Its caption names what it shows, not the window's name again.
  QCOMPARE(progress->windowTitle(), QStringLiteral("正在合并文件"));
}

void MainWindowTest::shortMergeShowsNoProgress() {
  QTemporaryDir sources;
  writeFile(sources.filePath("1.ts"), "one");
  QTemporaryDir outputs;
  Harness h;
  h.window->writeFolderText(sources.path());
  h.confirmSaveAs(outputs.filePath("out.ts"));
  h.window->runMerge();
  QCOMPARE(h.window->findChild<QProgressDialog*>("mergeProgress"), nullptr);
  QCOMPARE(h.dialogs.log.last(), "open:" + outputs.path() + "/");
}

void MainWindowTest::selectionShowsOnlyWhileTheEditBoxHasTheFocus() {
  Harness h;
  QVERIFY(h.showActive());
  h.window->writeFolderText(QStringLiteral("/a/folder/with/a/long/name"));
  QPlainTextEdit* edit = h.folderEdit();
  edit->setFocus();
  edit->selectAll();
  const QColor highlight = edit->palette().color(QPalette::Active, QPalette::Highlight);
  auto showsHighlight = [&] {
    const QImage image = edit->viewport()->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == highlight) return true;
    return false;
  };
  QVERIFY(showsHighlight());
  h.chooseButton()->setFocus();
  QVERIFY(!showsHighlight());
  QVERIFY(edit->textCursor().hasSelection());
  edit->setFocus();
  QVERIFY(showsHighlight());
}

void MainWindowTest::longPathWrapsAndScrollsWithTheCaret() {
  Harness h;
  QVERIFY(h.showActive());
  QPlainTextEdit* edit = h.folderEdit();
  edit->setFocus();
  const QString path = QStringLiteral("/media/recordings/2024-05-01/channel-one/segments/") +
                       QString(60, QLatin1Char('x'));
  QTest::keyClicks(edit, path);
  QCOMPARE(edit->toPlainText(), path);  // one paragraph: wrapping adds no line break
  QVERIFY(edit->textCursor().block().layout()->lineCount() > 2);
  QVERIFY(edit->verticalScrollBar()->value() > 0);
  QVERIFY(!edit->verticalScrollBar()->isVisible());
  QVERIFY(!edit->horizontalScrollBar()->isVisible());
  QVERIFY(edit->viewport()->rect().contains(edit->cursorRect()));

  // Back at the start, the first line shows again.
  QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
  QCOMPARE(edit->verticalScrollBar()->value(), 0);
}

void MainWindowTest::timelineBoxesExcludeEachOther() {
  Harness h;
  QVERIFY(h.showActive());
  QCheckBox* correction = h.correctionBox();
  QCheckBox* continuous = h.continuousBox();
  const auto ticked = [&] {
    return QStringLiteral("%1%2").arg(correction->isChecked()).arg(continuous->isChecked());
  };
  // Each step as the user does it: a click, or Space on the focused box.
  QTest::mouseClick(continuous, Qt::LeftButton);
  QCOMPARE(ticked(), QStringLiteral("01"));
  QTest::mouseClick(correction, Qt::LeftButton);
  QCOMPARE(ticked(), QStringLiteral("10"));
  continuous->setFocus();
  QTest::keyClick(continuous, Qt::Key_Space);
  QCOMPARE(ticked(), QStringLiteral("01"));
  // Clearing the ticked one leaves both clear.
  QTest::keyClick(continuous, Qt::Key_Space);
  QCOMPARE(ticked(), QStringLiteral("00"));
  QTest::mouseClick(correction, Qt::LeftButton);
  QTest::mouseClick(correction, Qt::LeftButton);
  QCOMPARE(ticked(), QStringLiteral("00"));
}

void MainWindowTest::continuousBoxMergesAsTheCommandLine() {
  QTemporaryDir sources;
  QByteArray plain;
  for (int i = 1; i <= 12; ++i) {
    const QString name = QStringLiteral("%1.ts").arg(i);
    const QByteArray bytes = readAll(QStringLiteral(TSMERGE_SAMPLES_DIR "/") + name);
    writeFile(sources.filePath(name), bytes);
    plain += bytes;
  }
  QTemporaryDir outputs;

  Harness h;
  h.continuousBox()->setChecked(true);
  h.window->writeFolderText(sources.path());
  h.confirmSaveAs(outputs.filePath("window.ts"));
  h.dialogs.messageAnswers = {BoxAnswer::Cancel};
  h.window->runMerge();
  QCOMPARE(h.dialogs.log, (QStringList{"save", "message:" + kSucceeded}));
  QCOMPARE(h.window->lastTimelineMode(), tsmerge::TimelineMode::Continuous);
  // The Part's corrector is not asked for anything.
  QCOMPARE(h.rewriter.resets, 0);
  QCOMPARE(h.rewriter.pieces, 0);

  QProcess cli;
  cli.start(QStringLiteral(TSMERGE_CLI),
            {"--continuous-timeline", "-o", outputs.filePath("cli.ts"), sources.path()});
  QVERIFY(cli.waitForFinished(60000));
  QCOMPARE(cli.exitCode(), 0);
  const QByteArray fromWindow = readAll(outputs.filePath("window.ts"));
  QCOMPARE(fromWindow.size(), plain.size());
  QVERIFY(fromWindow != plain);
  QVERIFY(fromWindow == readAll(outputs.filePath("cli.ts")));
}

void MainWindowTest::correctionThatBreaksTheTimelineIsTold_data() {
  QTest::addColumn<bool>("restarting");  // each segment's clock starts again
  QTest::addColumn<QString>("added");    // the line after the success text; empty: none
  // On the bundled segments, video DTS steps back once per boundary when they are joined as
  // they are (11 times); after the correction of 选择框1 it steps back 159 times, as ffprobe
  // counts too.
  QTest::newRow("restarting segments")
      << true
      << QStringLiteral("\n注意：纠正后的文件时间轴倒退了 159 次（直接合并为 11 次）。"
                        "建议改为勾选“为所有音视频流生成连续时间轴”后重新合并。");
  QTest::newRow("segments of one running clock") << false << QString();
}

void MainWindowTest::correctionThatBreaksTheTimelineIsTold() {
  QFETCH(bool, restarting);
  QFETCH(QString, added);
  QTemporaryDir sources;
  if (restarting) {
    for (int i = 1; i <= 12; ++i) {
      const QString name = QStringLiteral("%1.ts").arg(i);
      writeFile(sources.filePath(name), readAll(QStringLiteral(TSMERGE_SAMPLES_DIR "/") + name));
    }
  } else {
    // The samples made continuous, cut again into four at packet boundaries.
    QTemporaryDir made;
    QProcess cli;
    cli.start(QStringLiteral(TSMERGE_CLI), {"--continuous-timeline", "-o", made.filePath("all.ts"),
                                            QStringLiteral(TSMERGE_SAMPLES_DIR)});
    QVERIFY(cli.waitForFinished(60000));
    const QByteArray all = readAll(made.filePath("all.ts"));
    const qsizetype quarter = all.size() / 188 / 4 * 188;
    for (int i = 0; i < 4; ++i) {
      writeFile(sources.filePath(QStringLiteral("%1.ts").arg(i + 1)),
                all.mid(i * quarter, i == 3 ? -1 : quarter));
    }
  }
  QTemporaryDir outputs;

  tsmerge::initProgramState();
  ScriptedDialogs dialogs;
  tsmerge::programState()->dialogs = &dialogs;
  {
    std::unique_ptr<MainWindow> window = tsmerge::createMainWindow(*tsmerge::programState());
    window->findChild<QCheckBox*>("选择框1")->setChecked(true);
    window->writeFolderText(sources.path());
    dialogs.onSaveDialog = [&](QFileDialog&) {
      return std::optional<QString>(outputs.filePath("out.ts"));
    };
    dialogs.messageAnswers = {BoxAnswer::Cancel};
    window->runMerge();
    QCOMPARE(dialogs.log, (QStringList{"save", "message:" + kSucceeded + added}));
    QCOMPARE(dialogs.messages.at(0).buttons, MessageButtons::OkCancel);
  }
  tsmerge::releaseProgramState();
}

void MainWindowTest::dropPutsTheFolderIntoTheBox_data() {
  QTest::addColumn<QString>("dropped");  // relative to the temporary folder; empty: the folder
  QTest::addColumn<QString>("expected");
  QTest::addColumn<bool>("onTheBox");  // dropped on the folder box, else on the window
  QTest::newRow("folder on the window") << QString() << QString() << false;
  QTest::newRow("folder on the box") << QString() << QString() << true;
  QTest::newRow("folder with spaces and Chinese") << "带 空格 的目录" << "带 空格 的目录" << true;
  QTest::newRow("file: its folder") << "带 空格 的目录/1 #%.ts" << "带 空格 的目录" << true;
  QTest::newRow("file on the window") << "带 空格 的目录/1 #%.ts" << "带 空格 的目录" << false;
}

void MainWindowTest::dropPutsTheFolderIntoTheBox() {
  QFETCH(QString, dropped);
  QFETCH(QString, expected);
  QFETCH(bool, onTheBox);
  QTemporaryDir temp;
  QVERIFY(QDir(temp.path()).mkpath("带 空格 的目录"));
  writeFile(temp.filePath("带 空格 的目录/1 #%.ts"), "x");
  const QString path = dropped.isEmpty() ? temp.path() : temp.filePath(dropped);
  const QString folder = expected.isEmpty() ? temp.path() : temp.filePath(expected);

  Harness h;
  QVERIFY(h.showActive());
  h.window->writeFolderText(QStringLiteral("/old/text"));
  h.mergeButton()->setEnabled(false);
  // As a file manager drags it: a percent-encoded URL, also offered as text.
  auto* mime = new QMimeData;
  const QUrl url = QUrl::fromLocalFile(path);
  mime->setUrls({url});
  mime->setText(url.toString(QUrl::FullyEncoded));
  QVERIFY(mime->text().startsWith("file:///"));
  QWidget* target = onTheBox ? h.folderEdit()->viewport() : h.window.get();
  const QPoint at = target->rect().center();

  QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QVERIFY(enter.isAccepted());
  QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &move);
  QVERIFY(move.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  QVERIFY(drop.isAccepted());
  delete mime;

  QCOMPARE(h.folderEdit()->toPlainText(), folder);
  QVERIFY(h.mergeButton()->isEnabled());
  QVERIFY(h.dialogs.log.isEmpty());
}

void MainWindowTest::dropOfNoLocalPathIsRefused() {
  Harness h;
  QVERIFY(h.showActive());
  auto* mime = new QMimeData;
  mime->setUrls({QUrl(QStringLiteral("https://example.com/segments/"))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h.window.get(), &enter);
  QVERIFY(!enter.isAccepted());
  delete mime;
  QCOMPARE(h.folderEdit()->toPlainText(), QString());
  QVERIFY(!h.mergeButton()->isEnabled());
}

void MainWindowTest::progressIsDrawnAtMostTenTimesASecond() {
  QTemporaryDir sources;
  for (int i = 1; i <= 400; ++i) writeFile(sources.filePath(QStringLiteral("%1.ts").arg(i)), "x");
  QTemporaryDir outputs;
  Harness h;
  QVERIFY(h.showActive());
  h.window->setProgressDelay(std::chrono::milliseconds(0));
  h.window->writeFolderText(sources.path());
  h.confirmSaveAs(outputs.filePath("out.ts"));
  // A timer of interval 0 fires once each time the merge lets the event loop run.
  int turns = 0;
  QTimer counter;
  connect(&counter, &QTimer::timeout, [&] { ++turns; });
  counter.start(0);
  QElapsedTimer clock;
  clock.start();
  h.window->runMerge();
  const qint64 ms = clock.elapsed();
  counter.stop();
  QCOMPARE(readAll(outputs.filePath("out.ts")), QByteArray(400, 'x'));
  // The first showing, then one update per 100 ms, and the last; each update may turn the loop
  // twice (the dialog turns it itself when its value is set).
  QVERIFY2(turns <= 2 * (3 + ms / 100), qPrintable(QStringLiteral("%1 turns in %2 ms")
                                                       .arg(turns).arg(ms)));
}

void MainWindowTest::cancelStopsTheMergeAndLeavesNothing_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("Cancel button") << QStringLiteral("button");
  QTest::newRow("Escape") << QStringLiteral("escape");
  QTest::newRow("close box") << QStringLiteral("close");
}

void MainWindowTest::cancelStopsTheMergeAndLeavesNothing() {
  QFETCH(QString, how);
  QTemporaryDir sources;
  for (int i = 1; i <= 50; ++i) {
    writeFile(sources.filePath(QStringLiteral("%1.ts").arg(i)), QByteArray(5000, 'a' + i % 26));
  }
  QTemporaryDir outputs;
  const QString output = outputs.filePath("joined.ts");

  Harness h;
  QVERIFY(h.showActive());
  h.window->setProgressDelay(std::chrono::milliseconds(0));
  h.window->writeFolderText(sources.path());
  h.confirmSaveAs(output);
  int filesWhenCancelled = -1;
  QTimer canceller;
  connect(&canceller, &QTimer::timeout, [&] {
    auto* progress = h.window->findChild<QProgressDialog*>("mergeProgress");
    if (progress == nullptr || !progress->isVisible()) return;
    canceller.stop();
    filesWhenCancelled = progress->value();
    if (how == "button") {
      auto* button = progress->findChild<QPushButton*>();
      QVERIFY(button != nullptr);
      QCOMPARE(button->text(), QStringLiteral("取消"));
      QTest::mouseClick(button, Qt::LeftButton);
    } else if (how == "escape") {
      QTest::keyClick(progress, Qt::Key_Escape);
    } else {
      QVERIFY(progress->close());
    }
  });
  canceller.start(0);
  h.window->runMerge();

  QVERIFY(filesWhenCancelled >= 0 && filesWhenCancelled < 50);
  QCOMPARE(h.dialogs.log, (QStringList{"save", "message:" + kCancelled}));
  QCOMPARE(h.dialogs.messages.at(0).buttons, MessageButtons::Ok);
  // Nothing was left in the output's folder, under any name.
  QCOMPARE(QDir(outputs.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                          QDir::NoDotAndDotDot),
           QStringList());
  // The merge can be run again at once.
  QVERIFY(h.mergeButton()->isEnabled());
  auto* progress = h.window->findChild<QProgressDialog*>("mergeProgress");
  QVERIFY(!progress->isVisible());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
