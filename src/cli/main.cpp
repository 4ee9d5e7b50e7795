#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli.h"
#include "platform/posix_file_access.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const tsmerge::CliOptions options = tsmerge::parseCliOptions(args);
  if (options.help) {
    std::cout << tsmerge::cliHelpText();
    return tsmerge::kExitJoined;
  }
  if (!options.usageError.empty()) {
    std::cerr << "tsmerge: " << options.usageError << "\n"
              << "Try 'tsmerge --help' for more information.\n";
    return tsmerge::kExitUsage;
  }
  tsmerge::CliEnvironment environment;
  environment.language = tsmerge::messageLanguage(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                                  std::getenv("LANG"));
  std::error_code ignored;
  environment.workingFolder = std::filesystem::current_path(ignored).string();
  environment.progressToTerminal = ::isatty(STDERR_FILENO) == 1;
  tsmerge::PosixFileAccess files;
  return tsmerge::runCli(options, files, std::cout, std::cerr, environment);
}
