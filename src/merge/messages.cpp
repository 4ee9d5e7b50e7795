#include "merge/messages.h"

#include <algorithm>

#include "merge/merge_job.h"

namespace tsmerge::messages {

std::string leftOutList(const std::vector<LeftOutFile>& leftOut) {
  if (leftOut.empty()) return {};
  std::string text = "\n\n" + std::to_string(leftOut.size()) + " 个文件无法读取，未合并：";
  const std::size_t named = std::min(leftOut.size(), kLeftOutNamedInMessage);
  for (std::size_t i = 0; i < named; ++i) {
    text += "\n" + leftOut[i].name + "（" + leftOut[i].reason + "）";
  }
  if (named < leftOut.size()) {
    text += "\n……另有 " + std::to_string(leftOut.size() - named) + " 个";
  }
  return text;
}

}  // namespace tsmerge::messages
