// Times putting 100,000 names into merge order, against a plain std::sort of the same names.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "merge/file_access.h"
#include "merge/length_buckets.h"
#include "merge/path_rules.h"

namespace {

// Hands out a fixed listing; nothing else is needed to fill the buckets.
class ListingOnly final : public tsmerge::FileAccess {
 public:
  explicit ListingOnly(std::vector<std::string> names) : names_(std::move(names)) {}
  std::vector<std::string> listFolder(const std::string&) override { return names_; }
  tsmerge::Opened<tsmerge::SourceFile> openSource(const std::string&) override { return {}; }
  tsmerge::Opened<tsmerge::OutputFile> createOutput(const std::string&) override { return {}; }
  void removeFile(const std::string&) override {}

 private:
  std::vector<std::string> names_;
};

template <class Work>
double bestSeconds(Work work) {
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::stoi(argv[1]) : 100000;
  std::vector<std::string> names;
  for (int i = 1; i <= count; ++i) names.push_back("segment" + std::to_string(i) + ".ts");
  std::shuffle(names.begin(), names.end(), std::mt19937(1));
  ListingOnly files(names);

  std::size_t ordered = 0;
  const double buckets = bestSeconds([&] {
    tsmerge::LengthBuckets lengthBuckets;
    lengthBuckets.createBuckets();
    lengthBuckets.fillBuckets("/in", tsmerge::posixPathRules(), files);
    ordered = 0;
    for (std::size_t n = 1; n <= lengthBuckets.lastBucket(); ++n) ordered += lengthBuckets.bucketCount(n);
  });
  const double plainSort = bestSeconds([&] {
    std::vector<std::string> copy = files.listFolder("/in");
    std::sort(copy.begin(), copy.end());
  });
  std::printf("names: %d (ordered %zu)\n", count, ordered);
  std::printf("length buckets: %.4f s\n", buckets);
  std::printf("std::sort:      %.4f s\n", plainSort);
  std::printf("ratio:          %.2f\n", buckets / plainSort);
  return ordered == static_cast<std::size_t>(count) ? 0 : 1;
}
