#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tsmerge {

class FileAccess;

struct CliOptions {
  std::string folder;
  std::string output;
  bool force = false;
  bool fixTimeline = false;
  bool continuousTimeline = false;
  bool report = false;  // print the timeline's boundaries and duration after the join
  bool help = false;
  std::string usageError;  // set when the arguments do not parse
};

// Exit codes of the command line.
inline constexpr int kExitJoined = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPartial = 3;

CliOptions parseCliOptions(const std::vector<std::string>& args);

// Runs one merge as the command line does. progressToTerminal: draw a progress line on err.
int runCli(const CliOptions& options, FileAccess& files, std::ostream& out, std::ostream& err,
           bool progressToTerminal);

// The text of --help.
std::string cliHelpText();

}  // namespace tsmerge
