// The window on a real X display with a window manager (run by desktop_session.sh): where the
// manager puts the progress dialog, and the dialog's Cancel, Escape and close box.

#include <memory>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "platform/posix_file_access.h"
#include "scripted_dialogs.h"
#include "ui/main_window.h"

using tsmerge::MainWindow;
using tsmerge::testing::ScriptedDialogs;

namespace {

struct Harness {
  ScriptedDialogs dialogs;
  tsmerge::PosixFileAccess files;
  std::unique_ptr<MainWindow> window;

  Harness() {
    window = std::make_unique<MainWindow>(dialogs, files, nullptr);
    window->createBuckets();
    window->setProgressDelay(std::chrono::milliseconds(0));
  }
  QProgressDialog* progress() const {
    return window->findChild<QProgressDialog*>(QStringLiteral("mergeProgress"));
  }
};

// A folder of a few small files.
void fillFolder(const QString& folder, int files) {
  for (int i = 1; i <= files; ++i) {
    QFile file(folder + QStringLiteral("/%1.ts").arg(i));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1000, char('a' + i % 26)));
  }
}

// Runs action once, inside the merge, as soon as the progress dialog is on the screen.
void whenProgressShows(Harness& h, std::function<void(QProgressDialog&)> action) {
  auto* timer = new QTimer(h.window.get());
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, [&h, timer, action] {
    QProgressDialog* progress = h.progress();
    if (progress == nullptr || !progress->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(*progress);
  });
  timer->start();
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void progressDialogIsCentredOverTheWindow_data();
  void progressDialogIsCentredOverTheWindow();
  void progressDialogStopsTheMerge_data();
  void progressDialogStopsTheMerge();
};

void DesktopTest::progressDialogIsCentredOverTheWindow_data() {
  QTest::addColumn<QPoint>("windowAt");  // where the user moved the window, frame included
  // Nine showings, as a user meets them: the window where it starts, and moved about.
  for (int round = 0; round < 3; ++round) {
    QTest::addRow("centre, round %d", round) << QPoint(-1, -1);
    QTest::addRow("upper left, round %d", round) << QPoint(150, 100);
    QTest::addRow("lower right, round %d", round) << QPoint(600, 450);
  }
}

void DesktopTest::progressDialogIsCentredOverTheWindow() {
  QFETCH(QPoint, windowAt);
  QTemporaryDir sources;
  QTemporaryDir outputs;
  fillFolder(sources.path(), 5);

  Harness h;
  if (windowAt.x() >= 0) h.window->move(windowAt);
  h.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
  // The manager has framed the window once its frame is larger than its client area.
  QVERIFY(QTest::qWaitFor([&] { return h.window->frameGeometry() != h.window->geometry(); }));
  h.window->writeFolderText(sources.path());
  h.dialogs.onSaveDialog = [&](QFileDialog&) {
    return std::optional<QString>(outputs.filePath("out.ts"));
  };
  h.dialogs.messageAnswers = {tsmerge::BoxAnswer::Cancel};

  QRect dialogFrame, windowFrame;
  whenProgressShows(h, [&](QProgressDialog& progress) {
    // Wait, inside the merge, until the manager has framed and placed the dialog.
    QTest::qWaitForWindowExposed(&progress);
    QTest::qWaitFor([&] { return progress.frameGeometry() != progress.geometry(); }, 2000);
    QTest::qWait(300);
    dialogFrame = progress.frameGeometry();
    windowFrame = h.window->frameGeometry();
  });
  h.window->runMerge();

  QVERIFY2(dialogFrame.isValid(), "the progress dialog never showed");
  const QPoint off = dialogFrame.center() - windowFrame.center();
  QVERIFY2(std::abs(off.x()) <= 2 && std::abs(off.y()) <= 2,
           qPrintable(QStringLiteral("dialog %1,%2 %3x%4, window %5,%6 %7x%8")
                          .arg(dialogFrame.x()).arg(dialogFrame.y())
                          .arg(dialogFrame.width()).arg(dialogFrame.height())
                          .arg(windowFrame.x()).arg(windowFrame.y())
                          .arg(windowFrame.width()).arg(windowFrame.height())));
  QCOMPARE(h.dialogs.log, (QStringList{"save", "message:操作成功完成！是否打开输出目录。"}));
}

void DesktopTest::progressDialogStopsTheMerge_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("Cancel button") << QStringLiteral("button");
  QTest::newRow("Escape") << QStringLiteral("escape");
  QTest::newRow("close box") << QStringLiteral("close");
}

void DesktopTest::progressDialogStopsTheMerge() {
  QFETCH(QString, how);
  QTemporaryDir sources;
  QTemporaryDir outputs;
  fillFolder(sources.path(), 50);

  Harness h;
  h.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
  h.window->writeFolderText(sources.path());
  h.dialogs.onSaveDialog = [&](QFileDialog&) {
    return std::optional<QString>(outputs.filePath("out.ts"));
  };
  QString caption;
  whenProgressShows(h, [&](QProgressDialog& progress) {
    QTest::qWaitForWindowExposed(&progress);
    caption = progress.windowTitle();
    if (how == "button") {
      auto* cancel = progress.findChild<QPushButton*>();
      QVERIFY(cancel != nullptr);
      QCOMPARE(cancel->text(), QStringLiteral("取消"));
      QTest::mouseClick(cancel, Qt::LeftButton);
    } else if (how == "escape") {
      QTest::keyClick(&progress, Qt::Key_Escape);
    } else {
      progress.close();
    }
  });
  h.window->runMerge();

  QCOMPARE(caption, QStringLiteral("正在合并文件"));
  QCOMPARE(h.dialogs.log, (QStringList{"save", "message:合并已取消，没有写出任何文件。"}));
  QCOMPARE(QDir(outputs.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
           QStringList());
  QVERIFY(h.window->findChild<QPushButton*>("按钮2")->isEnabled());
}

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
