#include "ui/program.h"

#include <cfenv>
#include <cstdlib>
#include <exception>

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "ui/fatal_error.h"
#include "ui/main_window.h"
#include "window/window_texts.h"

namespace tsmerge {
namespace {

std::unique_ptr<ProgramState>& stateHolder() {
  static std::unique_ptr<ProgramState> state;
  return state;
}

}  // namespace

void initProgramState() { stateHolder() = std::make_unique<ProgramState>(); }

void releaseProgramState() { stateHolder().reset(); }

ProgramState* programState() { return stateHolder().get(); }

std::unique_ptr<MainWindow> createMainWindow(ProgramState& state) {
  auto window = std::make_unique<MainWindow>(*state.dialogs, state.files, &state.corrector);
  window->createBuckets();
  return window;
}

int startUp(int& argc, char** argv, const WindowFactory& createWindow) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tsmerge-gui"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tsmerge-gui"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tsmerge-gui.svg")));
  // The toolkit's own words (OK, Cancel, the file dialog) in the desktop's language, when the
  // translations are installed.
  QTranslator toolkitWords;
  if (toolkitWords.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&toolkitWords);
  }
  // Round to nearest, no floating-point traps, whatever the environment started with.
  std::fesetenv(FE_DFL_ENV);

  initProgramState();
  std::atexit(releaseProgramState);

  std::unique_ptr<MainWindow> window;
  try {
    window = createWindow(*programState());
  } catch (const std::exception&) {
    window.reset();
  }
  if (window == nullptr) fatalError(QString::fromUtf8(window_texts::kWindowFailed));

  window->show();
  QApplication::exec();
  // Closing the window ends the loop, whatever the loop's own result.
  window.reset();
  return 0;
}

}  // namespace tsmerge
