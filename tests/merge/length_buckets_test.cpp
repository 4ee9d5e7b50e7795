#include "merge/length_buckets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "fake_file_access.h"
#include "merge/path_rules.h"

namespace tsmerge {
namespace {

using testing::FakeFileAccess;

std::vector<std::string> mergeOrder(LengthBuckets& buckets) {
  std::vector<std::string> names;
  for (std::size_t n = 1; n <= buckets.lastBucket(); ++n) {
    const std::size_t count = buckets.bucketCount(n);
    for (std::size_t i = 0; i < count; ++i) names.push_back(buckets.bucketName(n, i));
  }
  return names;
}

std::vector<std::string> orderOf(const std::vector<std::string>& names) {
  FakeFileAccess files;
  for (const auto& name : names) files.addFile("/in/" + name, "x");
  LengthBuckets buckets;
  buckets.createBuckets();
  buckets.fillBuckets("/in", posixPathRules(), files);
  return mergeOrder(buckets);
}

TEST(LengthBuckets, MergeOrder) {
  const std::string kChinese = "录像";  // two characters of three bytes each in UTF-8
  const struct {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::string> expected;
  } kCases[] = {
      {"numbers in natural order",
       {"1.ts", "2.ts", "10.ts", "9.ts", "11.ts"},
       {"1.ts", "2.ts", "9.ts", "10.ts", "11.ts"}},
      {"case-insensitive within a length", {"b.ts", "A.ts", "C.ts"}, {"A.ts", "b.ts", "C.ts"}},
      {"digits before letters", {"a9.ts", "10.ts", "9.ts"}, {"9.ts", "10.ts", "a9.ts"}},
      {"unpadded numbers behind a prefix", {"seg10.ts", "seg9.ts"}, {"seg9.ts", "seg10.ts"}},
      {"padded numbers", {"seg010.ts", "seg009.ts", "seg100.ts"},
       {"seg009.ts", "seg010.ts", "seg100.ts"}},
      {"names equal but for case: raw bytes decide", {"a.ts", "A.ts", "A.TS"},
       {"A.TS", "A.ts", "a.ts"}},
      {"hidden files and names without extension", {".hidden", "README", "1"},
       {"1", "README", ".hidden"}},
      // Byte lengths as stored: 2 × 3 + 1 + 3 = 10 bytes, the bucket of abcdefg.ts.
      {"UTF-8 names count their bytes", {kChinese + "1.ts", "abcdefg.ts", "abcdef.ts"},
       {"abcdef.ts", "abcdefg.ts", kChinese + "1.ts"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(orderOf(c.names), c.expected);
  }
}

TEST(LengthBuckets, NamesOf100BytesAndMoreFollowThe99ByteNames) {
  const std::string n99(96, 'a'), n100(97, 'b'), n100upper(97, 'B'), n255(252, 'c');
  const std::vector<std::string> expected = {"1.ts", n99 + ".ts", n100upper + ".ts",
                                             n100 + ".ts", n255 + ".ts"};
  EXPECT_EQ(orderOf({n255 + ".ts", n100 + ".ts", "1.ts", n99 + ".ts", n100upper + ".ts"}),
            expected);
}

TEST(LengthBuckets, OrderDoesNotDependOnTheListing) {
  std::vector<std::string> names;
  for (int i = 1; i <= 300; ++i) names.push_back(std::to_string(i) + (i % 3 ? ".ts" : ".TS"));
  const std::vector<std::string> sorted = orderOf(names);
  std::mt19937 random(7);
  for (int round = 0; round < 3; ++round) {
    std::shuffle(names.begin(), names.end(), random);
    EXPECT_EQ(orderOf(names), sorted);
  }
  for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
    EXPECT_EQ(std::stoi(sorted[i]) + 1, std::stoi(sorted[i + 1]));
  }
}

TEST(LengthBuckets, SecondFillHoldsOnlyTheSecondFolder) {
  FakeFileAccess files;
  files.addFile("/one/1.ts", "x");
  files.addFile("/one/" + std::string(120, 'x'), "x");
  files.addFile("/two/2.ts", "x");
  files.addFolder("/two/sub");
  files.addFile("/two/sub/3.ts", "x");
  LengthBuckets buckets;
  buckets.createBuckets();
  buckets.fillBuckets("/one", posixPathRules(), files);
  buckets.clearBuckets();
  buckets.lastNameLength = 0;
  buckets.fillBuckets("/two", posixPathRules(), files);
  EXPECT_EQ(mergeOrder(buckets), std::vector<std::string>{"2.ts"});
  EXPECT_EQ(buckets.lastBucket(), LengthBuckets::kFixedBuckets);
}

TEST(LengthBuckets, EmptyFolderLeavesEveryBucketEmpty) {
  FakeFileAccess files;
  files.addFolder("/in/sub");
  LengthBuckets buckets;
  buckets.createBuckets();
  buckets.fillBuckets("/in", posixPathRules(), files);
  EXPECT_TRUE(mergeOrder(buckets).empty());
  EXPECT_EQ(buckets.folderPattern, "/in");
}

TEST(LengthBuckets, WindowsPatternGetsTheSeparatorOnce) {
  FakeFileAccess files('\\');
  LengthBuckets buckets;
  buckets.createBuckets();
  buckets.fillBuckets("D:\\clips", windowsPathRules(), files);
  buckets.fillBuckets("D:\\clips\\", windowsPathRules(), files);
  EXPECT_EQ(files.listed, (std::vector<std::string>{"D:\\clips\\*.*", "D:\\clips\\*.*"}));
}

TEST(BucketOrder, IsAStrictWeakOrder) {
  const std::vector<std::string> names = {"a", "A", "b", "B", "_", "0", "9", "Z", "z", "\xE5", ""};
  for (const auto& x : names) {
    EXPECT_FALSE(bucketOrderLess(x, x)) << x;
    for (const auto& y : names) {
      if (x != y) {
        EXPECT_NE(bucketOrderLess(x, y), bucketOrderLess(y, x)) << x << " " << y;
      }
    }
  }
}

}  // namespace
}  // namespace tsmerge
