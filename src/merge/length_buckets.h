#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tsmerge {

class FileAccess;
class PathRules;

// Puts a folder's file names into merge order: by byte length first (bucket n holds the names of
// n bytes), then case-insensitively within a bucket, so 2.ts comes before 10.ts.
class LengthBuckets {
 public:
  // Buckets 1 to 99 always exist; longer names get buckets of their own behind them.
  static constexpr std::size_t kFixedBuckets = 99;

  // Makes the 99 empty buckets; called once when the window is created.
  void createBuckets();
  // Empties every bucket.
  void clearBuckets();
  // Lists the folder and adds every name to the bucket of its byte length, in bucket order.
  void fillBuckets(const std::string& folderText, const PathRules& rules, FileAccess& files);

  // The highest bucket number that may hold names: 99, or the longest listed name's length.
  std::size_t lastBucket() const { return buckets_.empty() ? 0 : buckets_.size() - 1; }
  // The number of names in bucket n (0 for a bucket that does not exist).
  std::size_t bucketCount(std::size_t n);
  // Name i (0-based) of the bucket that the preceding bucketCount(n) made current.
  const std::string& bucketName(std::size_t n, std::size_t i) const;

  std::size_t lastNameLength = 0;  // byte length of the name added last
  std::size_t nameLength = 0;      // byte length of the name at hand
  std::string foundName;           // the name the listing returned last
  std::string folderPattern;       // what the listing was handed

 private:
  std::vector<std::vector<std::string>> buckets_;  // index = byte length; index 0 unused
  std::vector<std::string>* currentBucket_ = nullptr;
};

// The order within a bucket: ASCII letters folded to lower case (so digits come before letters),
// and names that are equal when folded ordered by their raw bytes.
bool bucketOrderLess(const std::string& a, const std::string& b);

}  // namespace tsmerge
