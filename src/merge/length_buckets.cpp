#include "merge/length_buckets.h"

#include <algorithm>

#include "merge/file_access.h"
#include "merge/path_rules.h"

namespace tsmerge {
namespace {

unsigned char foldCase(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

}  // namespace

bool bucketOrderLess(const std::string& a, const std::string& b) {
  const bool foldedLess = std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return foldCase(x) < foldCase(y); });
  if (foldedLess) return true;
  const bool foldedGreater = std::lexicographical_compare(
      b.begin(), b.end(), a.begin(), a.end(),
      [](char x, char y) { return foldCase(x) < foldCase(y); });
  if (foldedGreater) return false;
  // Equal when folded: the raw bytes decide, so the order never depends on the listing.
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
}

void LengthBuckets::createBuckets() {
  buckets_.assign(kFixedBuckets + 1, {});
  currentBucket_ = nullptr;
}

void LengthBuckets::clearBuckets() {
  // Buckets for long names from an earlier folder go; the 99 fixed ones stay.
  buckets_.resize(kFixedBuckets + 1);
  for (auto& bucket : buckets_) {
    currentBucket_ = &bucket;
    bucket.clear();
  }
}

void LengthBuckets::fillBuckets(const std::string& folderText, const PathRules& rules,
                                FileAccess& files) {
  if (buckets_.empty()) createBuckets();
  folderPattern = rules.folderPattern(folderText);
  for (auto& name : files.listFolder(folderPattern)) {
    foundName = std::move(name);
    nameLength = foundName.size();
    if (nameLength == 0) continue;
    if (nameLength != lastNameLength || currentBucket_ == nullptr) {
      if (nameLength >= buckets_.size()) buckets_.resize(nameLength + 1);
      currentBucket_ = &buckets_[nameLength];
    }
    currentBucket_->push_back(foundName);
    lastNameLength = nameLength;
  }
  // One sort per bucket after the listing keeps large folders fast (no sorted insertion).
  for (auto& bucket : buckets_) std::sort(bucket.begin(), bucket.end(), bucketOrderLess);
  // A resize above may have moved the buckets; the next lookup sets the current one again.
  currentBucket_ = nullptr;
}

std::size_t LengthBuckets::bucketCount(std::size_t n) {
  if (n == 0 || n >= buckets_.size()) {
    currentBucket_ = nullptr;
    return 0;
  }
  currentBucket_ = &buckets_[n];
  return currentBucket_->size();
}

const std::string& LengthBuckets::bucketName(std::size_t n, std::size_t i) const {
  return buckets_.at(n).at(i);
}

}  // namespace tsmerge
