#pragma once

#include <string>
#include <vector>

namespace tsmerge {

struct LeftOutFile;

namespace messages {

// The texts the window shows, byte for byte; the command line uses them in a Chinese locale.
inline constexpr const char* kBadFolderPath = "目录路径非法！请检查源文件目录是否正确。";
inline constexpr const char* kDriveRoot =
    "您选择了磁盘根目录！程序不能处理如此多的文件，请重新选择。";
inline constexpr const char* kSucceeded = "操作成功完成！是否打开输出目录。";
inline constexpr const char* kWriteFailed = "写出文件失败！请检查源文件目录是否可读。";
inline constexpr const char* kSaveDialogFilter = "所有文件 请输入[文件名]+[文件类型]";

// The most left-out files a message names one by one.
inline constexpr std::size_t kLeftOutNamedInMessage = 20;

// The list of files left out, placed after a message's own text; empty when none was.
std::string leftOutList(const std::vector<LeftOutFile>& leftOut);

}  // namespace messages
}  // namespace tsmerge
