#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tsmerge {

enum class DialogType { Unset, Save };

// What the merge job asks when it needs the output's path: the kind of dialog, its filter text
// and the path confirmed last (empty before the first), which a window offers again.
struct OutputRequest {
  DialogType type = DialogType::Save;
  std::string filter;
  std::string lastPath;
};

// The host's answer to an OutputRequest: the path, and whether a file already there may be
// replaced (the user confirmed it, or asked for it up front).
struct OutputChoice {
  std::string path;
  bool replaceExisting = false;
};

// Where a running join stands, for a progress display.
struct MergeProgress {
  std::size_t filesDone = 0;
  std::size_t fileCount = 0;
  std::uint64_t bytesWritten = 0;
};

// The host's answer to a progress report: go on, or stop the merge before the next piece.
enum class ProgressAnswer { Continue, Stop };

// The window, the command line, or a test, as the merge job sees it. The job asks and reports
// through these calls only; how a result is worded and shown is the host's business.
class MergeHost {
 public:
  virtual ~MergeHost() = default;
  // The current folder text; read anew at every use.
  virtual std::string folderText() = 0;
  // True when the timestamps are to be rewritten in this merge; read once, before the output is
  // asked for.
  virtual bool rewriteTimestamps() = 0;
  // The output, or nothing when the user declined to give one.
  virtual std::optional<OutputChoice> chooseOutput(const OutputRequest& request) = 0;
  // Called after each source and now and then within a large one; Stop ends the merge there.
  virtual ProgressAnswer mergeProgress(const MergeProgress& progress) {
    (void)progress;
    return ProgressAnswer::Continue;
  }
};

}  // namespace tsmerge
