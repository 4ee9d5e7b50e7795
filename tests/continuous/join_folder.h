#pragma once

#include <string>

#include "merge/merge_host.h"
#include "merge/merge_job.h"
#include "merge/path_rules.h"
#include "merge/timestamp_rewriter.h"
#include "platform/posix_file_access.h"

namespace tsmerge::testing {

// Stands in for the window: names the folder and the output, answers every question, and turns
// rewriting on when a rewriter is given.
class JoinHost final : public MergeHost {
 public:
  JoinHost(std::string folder, std::string output, bool rewriting)
      : folder_(std::move(folder)), output_(std::move(output)), rewriting_(rewriting) {}
  std::string folderText() override { return folder_; }
  bool correctionChecked() override { return rewriting_; }
  void disableMergeButton() override {}
  void setSaveDialogType(DialogType) override {}
  void setSaveDialogFilter(const std::string&) override {}
  bool openSaveDialog() override { return true; }
  std::string saveDialogFileName() override { return output_; }
  int messageBox(const std::string&, MessageButtons) override { return kMessageCancel; }
  void startFileManager(const std::string&) override {}

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
