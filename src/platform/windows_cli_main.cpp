// tsmerge.exe: the command line on Windows. Arguments come in as wide characters and go to the
// shared command line as UTF-8; its text goes out through the console so that Chinese shows.
#include <windows.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/windows_console.h"
#include "platform/windows_file_access.h"
#include "platform/windows_text.h"

namespace {

// FOLDER may be given relative to the working folder (or to the current drive's root); the job
// wants a drive path. A network path (\\server\share) stays as it is, and is refused.
std::string absoluteFolder(const std::string& folder) {
  if (folder.empty() || folder.rfind("\\\\", 0) == 0 || folder.rfind("//", 0) == 0) return folder;
  const std::wstring wide = tsmerge::windows::widen(folder);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return folder;
  std::wstring full(size, L'\0');
  const DWORD written = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (written == 0 || written >= size) return folder;
  full.resize(written);
  return tsmerge::windows::narrow(full);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using tsmerge::windows::ConsoleBuffer;
  using tsmerge::windows::StandardStream;
  ConsoleBuffer outBuffer(StandardStream::Output);
  ConsoleBuffer errBuffer(StandardStream::Error);
  std::ostream out(&outBuffer);
  std::ostream err(&errBuffer);

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(tsmerge::windows::narrow(argv[i]));
  tsmerge::CliOptions options = tsmerge::parseCliOptions(args);
  if (options.help) {
    out << tsmerge::cliHelpText() << std::flush;
    return tsmerge::kExitJoined;
  }
  if (!options.usageError.empty()) {
    err << "tsmerge: " << options.usageError << "\n"
        << "Try 'tsmerge --help' for more information.\n"
        << std::flush;
    return tsmerge::kExitUsage;
  }
  options.folder = absoluteFolder(options.folder);
  tsmerge::CliEnvironment environment;
  environment.language = tsmerge::messageLanguage(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                                  std::getenv("LANG"));
  environment.progressToTerminal = tsmerge::windows::isConsole(StandardStream::Error);
  tsmerge::WindowsFileAccess files;
  const int status = tsmerge::runCli(options, files, out, err, environment);
  out.flush();
  err.flush();
  return status;
}
