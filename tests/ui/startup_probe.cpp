// Runs the program shell and ends it the way argv[1] names ("escape", "close" or "fail"),
// reporting on standard output what it saw on the way.

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "ui/main_window.h"
#include "ui/program.h"

namespace {

void say(const QString& line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

// Registered before startUp registers its exit step, so it runs after that step.
void reportAtExit() {
  say(QStringLiteral("exit: state=%1")
          .arg(tsmerge::programState() == nullptr ? "released" : "kept"));
}

// Calls action every few milliseconds until it returns true.
void poll(std::function<bool()> action) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    if (action()) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  std::atexit(reportAtExit);

  const tsmerge::WindowFactory factory =
      [mode](tsmerge::ProgramState& state) -> std::unique_ptr<tsmerge::MainWindow> {
    if (mode == "fail") {
      poll([] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return false;
        say(QStringLiteral("box: ") + box->text());
        box->close();
        return true;
      });
      throw std::runtime_error("no window");
    }
    std::unique_ptr<tsmerge::MainWindow> window = tsmerge::createMainWindow(state);
    say(QStringLiteral("created: hidden=%1 buckets=%2 state=%3 icon=%4")
            .arg(!window->isVisible())
            .arg(window->job().buckets().lastBucket())
            .arg(tsmerge::programState() == &state ? "present" : "missing")
            .arg(!window->windowIcon().pixmap(32, 32).isNull()));
    tsmerge::MainWindow* shown = window.get();
    poll([shown, mode] {
      if (QApplication::activeWindow() != shown) return false;
      QWidget* focus = QApplication::focusWidget();
      say(QStringLiteral("shown: visible=%1 focus=%2")
              .arg(shown->isVisible())
              .arg(focus ? focus->objectName() : QStringLiteral("<none>")));
      if (mode == "escape") QTest::keyClick(focus, Qt::Key_Escape);
      if (mode == "close") shown->windowHandle()->close();
      return true;
    });
    return window;
  };
  return tsmerge::startUp(argc, argv, factory);
}
