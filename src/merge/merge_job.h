#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "merge/length_buckets.h"
#include "merge/timestamp_rewriter.h"
#include "ts/constants.h"

namespace tsmerge {

class FileAccess;
class MergeHost;
class PathRules;

// A source that could not be joined, and why.
struct LeftOutFile {
  std::string name;  // as listed
  std::string path;
  std::string reason;
};

struct MergeResult {
  enum class Outcome {
    BadFolderPath,  // the folder text is not a folder path
    DriveRoot,      // the folder text names a root
    Cancelled,      // no output path was given
    Joined,         // every source joined
    Partial,        // the output holds the readable sources; leftOut names the others
    Failed,         // no output: nothing to join, or the output could not be written
    Stopped,        // the host stopped the merge; no output
  };
  bool succeeded() const { return outcome == Outcome::Joined || outcome == Outcome::Partial; }
  Outcome outcome = Outcome::Cancelled;
  std::string outputPath;
  std::size_t filesJoined = 0;
  std::uint64_t bytesWritten = 0;
  std::vector<LeftOutFile> leftOut;
  std::string outputError;  // why the output could not be written, when it could not
};

// Size of one read and write: a multiple of 188 bytes, about 8 MiB, so that a transport packet
// never straddles two pieces and memory stays bounded whatever the file sizes.
inline constexpr std::size_t kPieceBytes = kTsPacketBytes * 44620;
// What TimestampRewriter promises about pieces.
static_assert(kPieceBytes % kTsPacketBytes == 0 && kPieceBytes >= 3 * kTsPacketBytes);

// Joins every file of one folder into one output, in length-bucket order, and hands back what
// came of it; the host words the result. One object lives as long as its window; its buckets,
// last path split and last output path carry over from merge to merge.
class MergeJob {
 public:
  // rewriter may be null: correction is then never applied, whatever the check box says.
  MergeJob(MergeHost& host, FileAccess& files, const PathRules& rules,
           TimestampRewriter* rewriter = nullptr);

  // The window's created handler.
  void createBuckets() { buckets_.createBuckets(); }
  // One merge, from the folder check to the closed output.
  MergeResult runMerge();

  const LengthBuckets& buckets() const { return buckets_; }
  const std::vector<std::string>& pathParts() const { return pathParts_; }

 private:
  struct Source {
    std::string name;
    std::string path;
  };
  void joinSources(const std::vector<Source>& sources, bool correctionOn, MergeResult& result);

  MergeHost& host_;
  FileAccess& files_;
  const PathRules& rules_;
  TimestampRewriter* rewriter_;
  LengthBuckets buckets_;
  std::vector<std::string> pathParts_;
  std::string lastOutputPath_;  // offered again by the next output request
  std::vector<std::uint8_t> sourceBuffer_;
};

}  // namespace tsmerge
