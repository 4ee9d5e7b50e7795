#pragma once

#include <optional>
#include <string>

#include "merge/merge_host.h"
#include "merge/merge_job.h"
#include "merge/path_rules.h"
#include "merge/timestamp_rewriter.h"
#include "platform/posix_file_access.h"

namespace tsmerge::testing {

// Names the folder and the output, and turns rewriting on when a rewriter is given.
class JoinHost final : public MergeHost {
 public:
  JoinHost(std::string folder, std::string output, bool rewriting)
      : folder_(std::move(folder)), output_(std::move(output)), rewriting_(rewriting) {}
  std::string folderText() override { return folder_; }
  bool rewriteTimestamps() override { return rewriting_; }
  std::optional<OutputChoice> chooseOutput(const OutputRequest&) override {
    return OutputChoice{output_, true};
  }

 private:
  std::string folder_;
  std::string output_;
  bool rewriting_;
};

// Joins folder into output through the merge job, with rewriter (or none: the plain join).
inline MergeResult joinFolder(const std::string& folder, const std::string& output,
                              TimestampRewriter* rewriter) {
  JoinHost host(folder, output, rewriter != nullptr);
  PosixFileAccess files;
  MergeJob job(host, files, platformPathRules(), rewriter);
  job.createBuckets();
  return job.runMerge();
}

}  // namespace tsmerge::testing
