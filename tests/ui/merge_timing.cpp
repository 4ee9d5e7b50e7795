// Times one merge in the real window on the real display: the window is shown, the folder typed
// in, the merge button pressed; the save dialog is answered with OUTPUT at once and the result
// message is answered Cancel. Prints the seconds from the click to the result message, which
// covers the listing, the join with its progress dialog, and the close, and the processor time
// spent meanwhile (user and system; compare with /usr/bin/time's %U + %S of the command line).
//
//   ui_merge_timing FOLDER OUTPUT [continuous]
//
// OUTPUT is replaced when it exists. Run it under the display to be measured (e.g. Xvfb with a
// window manager); compare with `time tsmerge -o OUTPUT FOLDER` on the same folder.

#include <cstdio>
#include <ctime>
#include <optional>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/posix_file_access.h"
#include "scripted_dialogs.h"
#include "ui/main_window.h"
#include "ui/program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: ui_merge_timing FOLDER OUTPUT [continuous]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString output = QString::fromLocal8Bit(argv[2]);
  const bool continuous = argc > 3 && QByteArray(argv[3]) == "continuous";

  tsmerge::initProgramState();
  tsmerge::ProgramState& state = *tsmerge::programState();
  tsmerge::testing::ScriptedDialogs dialogs;
  state.dialogs = &dialogs;
  std::unique_ptr<tsmerge::MainWindow> window = tsmerge::createMainWindow(state);
  window->show();
  if (!QTest::qWaitForWindowExposed(window.get())) return 1;

  QElapsedTimer clock;
  std::clock_t cpuStart = 0;
  double seconds = -1;
  double cpuSeconds = -1;
  QString message;
  dialogs.onSaveDialog = [&](QFileDialog&) {
    QFile::remove(output);
    return std::optional<QString>(output);
  };
  dialogs.onMessage = [&](const tsmerge::testing::ScriptedDialogs::Message& shown) {
    seconds = clock.nsecsElapsed() / 1e9;
    cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    message = shown.text;
  };
  dialogs.messageAnswers = {tsmerge::BoxAnswer::Cancel};

  if (continuous) {
    auto* box = window->findChild<QCheckBox*>("选择框2");
    if (box == nullptr) {
      std::fprintf(stderr, "ui_merge_timing: this window has no continuous-timeline box\n");
      return 2;
    }
    box->setChecked(true);
  }
  window->writeFolderText(folder);
  auto* mergeButton = window->findChild<QPushButton*>("按钮2");
  clock.start();
  cpuStart = std::clock();
  QTest::mouseClick(mergeButton, Qt::LeftButton);

  std::printf("%.3f s (cpu %.3f s)  %s\n", seconds, cpuSeconds,
              message.section('\n', 0, 0).toUtf8().constData());
  window.reset();
  tsmerge::releaseProgramState();
  return seconds < 0 ? 1 : 0;
}
