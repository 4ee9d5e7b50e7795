#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "merge/timeline_mode.h"

namespace tsmerge {

class FileAccess;

struct CliOptions {
  std::string folder;
  std::string output;
  bool force = false;
  TimelineMode timeline = TimelineMode::Plain;
  bool report = false;  // print the timeline's boundaries and duration after the join
  bool help = false;
  std::string usageError;  // set when the arguments do not parse
};

// The language the command line speaks.
enum class CliLanguage { English, Chinese };

// What the command line takes from where it runs.
struct CliEnvironment {
  CliLanguage language = CliLanguage::English;
  std::string workingFolder;  // a relative FOLDER is taken relative to it
  bool progressToTerminal = false;  // draw a progress line on the error stream
};

// Exit codes of the command line.
inline constexpr int kExitJoined = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPartial = 3;

CliOptions parseCliOptions(const std::vector<std::string>& args);

// The language of messages as gettext picks it: the first of LC_ALL, LC_MESSAGES and LANG that is
// set and not empty decides; Chinese when it names the language zh, else English. Null: unset.
CliLanguage messageLanguage(const char* lcAll, const char* lcMessages, const char* lang);

// Runs one merge as the command line does: the result goes to out, everything else to err.
int runCli(const CliOptions& options, FileAccess& files, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment);

// The text of --help.
std::string cliHelpText();

}  // namespace tsmerge
