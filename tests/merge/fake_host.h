#pragma once

#include <optional>
#include <string>
#include <vector>

#include "merge/merge_host.h"

namespace tsmerge::testing {

// Records what the merge job asks of its host, in order, and answers as told.
class FakeHost final : public MergeHost {
 public:
  std::string folder;
  bool rewrite = false;
  std::optional<OutputChoice> outputAnswer = OutputChoice{"/out/all.ts", true};  // nothing: declined
  // Answer Stop to the progress report with this index (0-based), and Continue to the others.
  std::optional<std::size_t> stopAtReport;

  std::vector<std::string> calls;
  std::vector<OutputRequest> requests;
  std::vector<MergeProgress> reports;

  std::string folderText() override {
    calls.push_back("folderText");
    return folder;
  }
  bool rewriteTimestamps() override {
    calls.push_back("rewriteTimestamps");
    return rewrite;
  }
  std::optional<OutputChoice> chooseOutput(const OutputRequest& request) override {
    calls.push_back("chooseOutput");
    requests.push_back(request);
    return outputAnswer;
  }
  ProgressAnswer mergeProgress(const MergeProgress& progress) override {
    reports.push_back(progress);
    return stopAtReport == reports.size() - 1 ? ProgressAnswer::Stop : ProgressAnswer::Continue;
  }
};

}  // namespace tsmerge::testing
