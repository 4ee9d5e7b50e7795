#include "merge/merge_job.h"

#include <algorithm>
#include <optional>
#include <span>

#include "merge/file_access.h"
#include "merge/merge_host.h"
#include "merge/messages.h"
#include "merge/path_rules.h"
#include "merge/timestamp_rewriter.h"
#include "ts/constants.h"

namespace tsmerge {
namespace {

// Fills buffer from the file until it is full or the file ends, so that every piece but a file's
// last is a whole number of 188-byte packets.
ReadResult readPiece(SourceFile& file, std::span<std::uint8_t> buffer) {
  ReadResult piece;
  while (piece.bytes < buffer.size()) {
    const ReadResult chunk = file.read(buffer.subspan(piece.bytes));
    if (!chunk.ok()) {
      piece.error = chunk.error;
      return piece;
    }
    if (chunk.bytes == 0) break;
    piece.bytes += chunk.bytes;
  }
  return piece;
}

}  // namespace

MergeJob::MergeJob(MergeHost& host, FileAccess& files, const PathRules& rules,
                   TimestampRewriter* rewriter)
    : host_(host), files_(files), rules_(rules), rewriter_(rewriter) {}

MergeResult MergeJob::runMerge() {
  MergeResult result;
  if (!rules_.isFolderPath(host_.folderText())) {
    result.outcome = MergeResult::Outcome::BadFolderPath;
    return result;
  }
  pathParts_ = rules_.splitPath(host_.folderText());
  if (pathParts_.size() < 2) {
    result.outcome = MergeResult::Outcome::DriveRoot;
    return result;
  }

  // The folder is listed before the output path is known, so a new output file in the same
  // folder is never one of the sources.
  buckets_.clearBuckets();
  buckets_.lastNameLength = 0;
  buckets_.fillBuckets(host_.folderText(), rules_, files_);

  // The check box counts as it reads now; ticking it while the dialog is open changes nothing.
  const bool correctionOn = host_.rewriteTimestamps() && rewriter_ != nullptr;
  if (correctionOn) rewriter_->resetTimelineState();

  const std::optional<OutputChoice> output =
      host_.chooseOutput({DialogType::Save, messages::kSaveDialogFilter, lastOutputPath_});
  if (!output) {
    result.outcome = MergeResult::Outcome::Cancelled;
    return result;
  }
  lastOutputPath_ = output->path;
  result.outputPath = output->path;

  std::vector<Source> sources;
  for (std::size_t n = 1; n <= buckets_.lastBucket(); ++n) {
    const std::size_t count = buckets_.bucketCount(n);
    for (std::size_t i = 0; i < count; ++i) {
      const std::string& name = buckets_.bucketName(n, i);
      sources.push_back({name, rules_.sourcePath(host_.folderText(), name)});
    }
  }

  joinSources(sources, correctionOn, result);
  return result;
}

void MergeJob::joinSources(const std::vector<Source>& sources, bool correctionOn,
                           MergeResult& result) {
  result.outcome = MergeResult::Outcome::Failed;
  Opened<OutputFile> output = files_.createOutput(result.outputPath);
  if (!output.file) {
    result.outputError = output.error;
    return;
  }
  OutputFile& out = *output.file;
  const FileIdentity outputIdentity = out.identity();
  // One buffer serves every piece of every file, merge after merge.
  sourceBuffer_.resize(kPieceBytes);
  const std::span<std::uint8_t> buffer(sourceBuffer_);

  auto failOutput = [&](std::string reason) {
    result.outputError = std::move(reason);
    out.close();
    files_.removeFile(result.outputPath);
  };
  // The host may stop the merge at each report: then no output is left.
  auto stopRequested = [&](const MergeProgress& progress) {
    if (host_.mergeProgress(progress) == ProgressAnswer::Continue) return false;
    failOutput({});
    result.outcome = MergeResult::Outcome::Stopped;
    return true;
  };

  MergeProgress progress{0, sources.size(), 0};
  for (const Source& source : sources) {
    Opened<SourceFile> opened = files_.openSource(source.path);
    if (!opened.file) {
      result.leftOut.push_back({source.name, source.path, opened.error});
    } else if (opened.file->identity() == outputIdentity) {
      // The output itself, listed under this name before it was emptied: never read into itself.
    } else {
      const std::uint64_t fileStart = result.bytesWritten;
      bool firstPiece = true;
      bool correcting = false;
      bool readFailed = false;
      for (;;) {
        const ReadResult piece = readPiece(*opened.file, buffer);
        if (!piece.ok()) {
          // Take back what this file had appended, so the output holds whole sources only.
          if (std::string error = out.truncate(fileStart); !error.empty()) {
            failOutput(std::move(error));
            return;
          }
          result.bytesWritten = fileStart;
          result.leftOut.push_back({source.name, source.path, piece.error});
          readFailed = true;
          break;
        }
        if (piece.bytes == 0) break;
        const std::span<std::uint8_t> bytes = buffer.first(piece.bytes);
        if (firstPiece) {
          correcting = correctionOn && bytes[0] == kTsSyncByte;
          if (correcting) rewriter_->beginFile(source.name);
        }
        if (correcting) rewriter_->correctBuffer(bytes, firstPiece);
        if (std::string error = out.write(bytes); !error.empty()) {
          failOutput(std::move(error));
          return;
        }
        result.bytesWritten += piece.bytes;
        firstPiece = false;
        if (piece.bytes < buffer.size()) break;
        progress.bytesWritten = result.bytesWritten;
        if (stopRequested(progress)) return;
      }
      if (!readFailed) ++result.filesJoined;
    }
    // The source is closed here, before the next one is opened.
    ++progress.filesDone;
    progress.bytesWritten = result.bytesWritten;
    if (stopRequested(progress)) return;
  }

  if (std::string error = out.close(); !error.empty()) {
    result.outputError = std::move(error);
    files_.removeFile(result.outputPath);
    return;
  }
  if (result.bytesWritten == 0) {
    files_.removeFile(result.outputPath);
    return;
  }
  if (correctionOn) rewriter_->finishMerge();
  result.outcome =
      result.leftOut.empty() ? MergeResult::Outcome::Joined : MergeResult::Outcome::Partial;
}

}  // namespace tsmerge
