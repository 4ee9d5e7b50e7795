#include "cli/cli.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>

#include "merge/file_access.h"
#include "merge/merge_host.h"
#include "merge/merge_job.h"
#include "merge/path_rules.h"
#include "merge/timestamp_rewriter.h"
#include "continuous/continuous_timeline.h"
#include "timeline/timeline_corrector.h"

namespace tsmerge {
namespace {

std::string humanBytes(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  std::size_t unit = 0;
  while (bytes >= 1024.0 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

// Stands in for the window: the folder text and the output path come from the arguments, the
// messages go to the terminal, and the question whether to open the output folder is answered
// Cancel.
class CliHost final : public MergeHost {
 public:
  CliHost(const CliOptions& options, std::ostream& out, std::ostream& err, bool progressLine)
      : options_(options), out_(out), err_(err), progressLine_(progressLine) {}

  std::string folderText() override { return options_.folder; }
  // --report alone hands the join to a rewriter that only observes.
  bool correctionChecked() override {
    return options_.fixTimeline || options_.continuousTimeline || options_.report;
  }
  void disableMergeButton() override {}
  void setSaveDialogType(DialogType) override {}
  void setSaveDialogFilter(const std::string&) override {}

  bool openSaveDialog() override {
    std::error_code error;
    // The path is UTF-8 on every platform (on Windows a plain string would be read in the
    // system's code page, and a Chinese name would not be found).
    const std::filesystem::path output(
        std::u8string(options_.output.begin(), options_.output.end()));
    const auto status = std::filesystem::symlink_status(output, error);
    return options_.force || !std::filesystem::exists(status);
  }
  std::string saveDialogFileName() override { return options_.output; }

  int messageBox(const std::string& text, MessageButtons buttons) override {
    endProgressLine();
    // The only question is the success message; its text is the result, so it goes to stdout.
    if (buttons == MessageButtons::OkCancel) {
      out_ << text << "\n";
      return kMessageCancel;
    }
    err_ << text << "\n";
    return kMessageOk;
  }
  void startFileManager(const std::string&) override {}

  void mergeProgress(const MergeProgress& progress) override {
    if (!progressLine_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
      started_ = true;
      start_ = now;
    }
    if (progress.filesDone < progress.fileCount && now - lastDrawn_ < std::chrono::milliseconds(100))
      return;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(progress.bytesWritten) / seconds : 0;
    err_ << "\r" << progress.filesDone << "/" << progress.fileCount << " files, "
         << humanBytes(static_cast<double>(progress.bytesWritten)) << ", " << humanBytes(rate)
         << "/s   " << std::flush;
    drawn_ = true;
  }


 private:
  void endProgressLine() {
    if (drawn_) err_ << "\n";
    drawn_ = false;
  }

  const CliOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
  bool progressLine_;
  bool started_ = false;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_{};
  std::chrono::steady_clock::time_point lastDrawn_{};
};

}  // namespace

CliOptions parseCliOptions(const std::vector<std::string>& args) {
  CliOptions options;
  std::vector<std::string> folders;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      folders.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "-f" || arg == "--force") {
      options.force = true;
    } else if (arg == "--fix-timeline") {
      options.fixTimeline = true;
    } else if (arg == "--continuous-timeline") {
      options.continuousTimeline = true;
    } else if (arg == "--report") {
      options.report = true;
    } else if (arg == "-o" || arg == "--output") {
      if (i + 1 == args.size()) {
        options.usageError = "option " + arg + " needs a file name";
        return options;
      }
      options.output = args[++i];
    } else if (arg.rfind("--output=", 0) == 0) {
      options.output = arg.substr(9);
    } else {
      options.usageError = "unknown option " + arg;
      return options;
    }
  }
  if (options.help) return options;
  if (options.fixTimeline && options.continuousTimeline) {
    options.usageError = "--fix-timeline and --continuous-timeline cannot be used together";
  } else if (options.output.empty()) {
    options.usageError = "no output file given (-o OUTPUT)";
  } else if (folders.size() != 1) {
    options.usageError = folders.empty() ? "no folder given" : "more than one folder given";
  } else {
    options.folder = folders.front();
  }
  return options;
}

std::string cliHelpText() {
  return R"(Usage: tsmerge [OPTIONS] -o OUTPUT FOLDER

Joins every file of FOLDER (not its sub-folders) into OUTPUT, byte for byte, in the natural
order of their names: shorter names first, names of equal length sorted without regard to
case, so 1.ts, 2.ts ... 9.ts, 10.ts, 11.ts ... come out in numeric order.

FOLDER is an absolute path ("/" alone, the root, is refused). OUTPUT must not exist yet,
unless --force is given.

Options:
  -o, --output OUTPUT  the file to write
  -f, --force          replace OUTPUT when it exists
      --fix-timeline   rewrite PCR, PTS and DTS in the transport-stream segments as they
                       pass, for when a joined file's timeline jumps back at the segment
                       boundaries (segments whose clocks each start again from zero)
      --continuous-timeline
                       make one seamless timeline for every stream: where a segment's clock
                       jumps back (or more than 10 s ahead), shift all its PCR, PTS and DTS
                       so that its video starts where the previous segment's ended; audio
                       keeps its place against the video; continuity counters run on. A
                       folder whose clock already runs on comes out as the plain join
      --report         after the join, print each segment boundary where the clock jumped
                       (the jump found and the shift applied) and the output's duration;
                       with a timeline option or alone (then nothing is rewritten)
  -h, --help           show this text

Exit status:
  0  every file was joined
  1  failure: bad folder path, nothing to join, or the output could not be written
  2  bad usage, or OUTPUT exists and --force was not given
  3  OUTPUT was written, but some files could not be read and were left out (they are named)

On a terminal, a progress line (files, bytes, rate) is drawn on standard error.
)";
}

int runCli(const CliOptions& options, FileAccess& files, std::ostream& out, std::ostream& err,
           bool progressToTerminal) {
  CliHost host(options, out, err, progressToTerminal);
  // Each run of the command line is a fresh program, so its timeline state starts at zero.
  TimelineState timeline;
  TimelineCorrector corrector(timeline);
  ContinuousTimeline continuous;
  TimelineObserver observed(options.fixTimeline ? &corrector : nullptr);
  TimestampRewriter* rewriter = &corrector;
  if (options.continuousTimeline) {
    rewriter = &continuous;
  } else if (options.report) {
    rewriter = &observed;
  }
  MergeJob job(host, files, platformPathRules(), rewriter);
  job.createBuckets();
  const MergeResult result = job.runMerge();

  using Outcome = MergeResult::Outcome;
  if (result.outcome == Outcome::Cancelled) {
    err << "tsmerge: " << options.output << " exists; add --force to replace it\n";
    return kExitUsage;
  }
  for (const LeftOutFile& file : result.leftOut) {
    err << "tsmerge: left out " << file.path << ": " << file.reason << "\n";
  }
  switch (result.outcome) {
    case Outcome::Joined:
    case Outcome::Partial:
      err << "tsmerge: joined " << result.filesJoined << " files, " << result.bytesWritten
          << " bytes, into " << result.outputPath << "\n";
      if (options.report) {
        out << formatTimelineReport(options.continuousTimeline ? continuous.summary()
                                                               : observed.summary());
      }
      return result.outcome == Outcome::Joined ? kExitJoined : kExitPartial;
    default:
      return kExitFailed;
  }
}

}  // namespace tsmerge
