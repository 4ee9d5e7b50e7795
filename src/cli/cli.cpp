#include "cli/cli.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/timeline_report.h"
#include "continuous/continuous_timeline.h"
#include "merge/file_access.h"
#include "merge/merge_host.h"
#include "merge/merge_job.h"
#include "merge/messages.h"
#include "merge/path_rules.h"
#include "merge/timestamp_rewriter.h"
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

// The words of the command line in each of its languages; the Chinese ones are the window's.
struct CliTexts {
  const char* notAFolder;      // + folder
  const char* root;            // + folder
  const char* nothingToJoin;   // + folder
  const char* cannotWrite;     // + output and reason
  const char* exists;          // + output
  const char* stopped;
  const char* leftOut;         // + path and reason
  const char* joined;          // files, bytes, output
};

constexpr CliTexts kEnglish = {
    "not a folder path",
    "the root folder is refused: it holds too many files; choose a folder",
    "nothing to join (no file could be read, or every file is empty); no output written",
    "cannot write",
    "exists; add --force to replace it",
    "interrupted: nothing written",
    "left out",
    "joined %zu files, %llu bytes, into ",
};

constexpr CliTexts kChinese = {
    messages::kBadFolderPath,
    messages::kDriveRoot,
    messages::kWriteFailed,
    "写出文件失败：",
    "已存在；要替换它请加 --force",
    "已中断：没有写出任何文件",
    "无法读取，未合并：",
    "操作成功完成！已合并 %zu 个文件，共 %llu 字节，输出到 ",
};

// Takes the folder and the output from the arguments and draws the progress on a terminal.
class CliHost final : public MergeHost {
 public:
  CliHost(const CliOptions& options, std::string folder, std::ostream& err, bool progressLine)
      : options_(options), folder_(std::move(folder)), err_(err), progressLine_(progressLine) {}

  std::string folderText() override { return folder_; }
  // --report alone hands the join to a rewriter that only observes.
  bool rewriteTimestamps() override {
    return options_.timeline != TimelineMode::Plain || options_.report;
  }
  std::optional<OutputChoice> chooseOutput(const OutputRequest&) override {
    std::error_code error;
    // The path is UTF-8 on every platform (on Windows a plain string would be read in the
    // system's code page, and a Chinese name would not be found).
    const std::filesystem::path output(
        std::u8string(options_.output.begin(), options_.output.end()));
    const auto status = std::filesystem::symlink_status(output, error);
    if (!options_.force && std::filesystem::exists(status)) return std::nullopt;
    return OutputChoice{options_.output, options_.force};
  }

  ProgressAnswer mergeProgress(const MergeProgress& progress) override {
    if (!progressLine_) return ProgressAnswer::Continue;
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
      started_ = true;
      start_ = now;
    }
    if (progress.filesDone < progress.fileCount && now - lastDrawn_ < std::chrono::milliseconds(100))
      return ProgressAnswer::Continue;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(progress.bytesWritten) / seconds : 0;
    err_ << "\r" << progress.filesDone << "/" << progress.fileCount << " files, "
         << humanBytes(static_cast<double>(progress.bytesWritten)) << ", " << humanBytes(rate)
         << "/s   " << std::flush;
    drawn_ = true;
    return ProgressAnswer::Continue;
  }

  // Ends the progress line, so that what follows starts on a line of its own.
  void endProgressLine() {
    if (drawn_) err_ << "\n";
    drawn_ = false;
  }

 private:
  const CliOptions& options_;
  std::string folder_;
  std::ostream& err_;
  bool progressLine_;
  bool started_ = false;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_{};
  std::chrono::steady_clock::time_point lastDrawn_{};
};

// FOLDER as the merge takes it: a relative one is taken relative to the working folder (and
// stays relative, so refused, when the working folder is unknown).
std::string absoluteFolder(const std::string& folder, const std::string& workingFolder) {
  if (folder.empty() || folder.front() == '/' || workingFolder.empty()) return folder;
  if (!workingFolder.empty() && workingFolder.back() == '/') return workingFolder + folder;
  return workingFolder + "/" + folder;
}

bool namesChinese(const char* locale) {
  return locale[0] == 'z' && locale[1] == 'h' &&
         (locale[2] == '\0' || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
}

}  // namespace

CliOptions parseCliOptions(const std::vector<std::string>& args) {
  CliOptions options;
  std::vector<std::string> folders;
  bool optionsEnded = false;
  bool timelinesTogether = false;
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
    } else if (arg == "--fix-timeline" || arg == "--continuous-timeline") {
      const TimelineMode mode =
          arg == "--fix-timeline" ? TimelineMode::FixTimeline : TimelineMode::Continuous;
      if (options.timeline != TimelineMode::Plain && options.timeline != mode) {
        timelinesTogether = true;
      }
      options.timeline = mode;
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
  if (timelinesTogether) {
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

FOLDER may be absolute or relative to the working folder ("/" alone, the root, is refused).
OUTPUT must not exist yet, unless --force is given.

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

On success, standard output says what was done: the files joined, the bytes written and
OUTPUT (then the --report lines). Everything else goes to standard error; on a terminal a
progress line (files, bytes, rate) is drawn there.

Exit status:
  0  every file was joined
  1  failure: bad folder path, nothing to join, or the output could not be written
  2  bad usage, or OUTPUT exists and --force was not given
  3  OUTPUT was written, but some files could not be read and were left out (they are named)

Messages are in English, or in Chinese when the locale's language is Chinese (the first of
LC_ALL, LC_MESSAGES and LANG that is set, as for gettext).
)";
}

CliLanguage messageLanguage(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* locale : {lcAll, lcMessages, lang}) {
    if (locale != nullptr && locale[0] != '\0') {
      return namesChinese(locale) ? CliLanguage::Chinese : CliLanguage::English;
    }
  }
  return CliLanguage::English;
}

int runCli(const CliOptions& options, FileAccess& files, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment) {
  const CliTexts& texts =
      environment.language == CliLanguage::Chinese ? kChinese : kEnglish;
  const std::string folder = absoluteFolder(options.folder, environment.workingFolder);
  CliHost host(options, folder, err, environment.progressToTerminal);
  // Each run of the command line is a fresh program, so its timeline state starts at zero.
  TimelineState timeline;
  TimelineCorrector corrector(timeline);
  ContinuousTimeline continuous;
  TimelineObserver observed(options.timeline == TimelineMode::FixTimeline ? &corrector : nullptr);
  TimestampRewriter* rewriter = &corrector;
  if (options.timeline == TimelineMode::Continuous) {
    rewriter = &continuous;
  } else if (options.report) {
    rewriter = &observed;
  }
  MergeJob job(host, files, platformPathRules(), rewriter);
  job.createBuckets();
  const MergeResult result = job.runMerge();
  host.endProgressLine();

  using Outcome = MergeResult::Outcome;
  switch (result.outcome) {
    case Outcome::BadFolderPath:
      err << "tsmerge: '" << options.folder << "': " << texts.notAFolder << "\n";
      return kExitFailed;
    case Outcome::DriveRoot:
      err << "tsmerge: " << folder << ": " << texts.root << "\n";
      return kExitFailed;
    case Outcome::Cancelled:
      err << "tsmerge: " << options.output << " " << texts.exists << "\n";
      return kExitUsage;
    default:
      break;
  }
  for (const LeftOutFile& file : result.leftOut) {
    err << "tsmerge: " << texts.leftOut << " " << file.path << ": " << file.reason << "\n";
  }
  if (result.outcome == Outcome::Stopped) {
    err << "tsmerge: " << texts.stopped << "\n";
    return kExitFailed;
  }
  if (!result.succeeded()) {
    if (result.outputError.empty()) {
      err << "tsmerge: " << folder << ": " << texts.nothingToJoin << "\n";
    } else {
      err << "tsmerge: " << texts.cannotWrite << " " << result.outputPath << ": "
          << result.outputError << "\n";
    }
    return kExitFailed;
  }
  char line[160];
  std::snprintf(line, sizeof line, texts.joined, result.filesJoined,
                static_cast<unsigned long long>(result.bytesWritten));
  out << line << result.outputPath << "\n";
  if (options.report) {
    out << formatTimelineReport(options.timeline == TimelineMode::Continuous
                                    ? continuous.summary()
                                    : observed.summary());
  }
  return result.outcome == Outcome::Joined ? kExitJoined : kExitPartial;
}

}  // namespace tsmerge
