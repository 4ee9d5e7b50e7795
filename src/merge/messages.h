#pragma once

namespace tsmerge::messages {

// The texts the user sees, byte for byte.
inline constexpr const char* kBadFolderPath = "目录路径非法！请检查源文件目录是否正确。";
inline constexpr const char* kDriveRoot =
    "您选择了磁盘根目录！程序不能处理如此多的文件，请重新选择。";
inline constexpr const char* kSucceeded = "操作成功完成！是否打开输出目录。";
inline constexpr const char* kWriteFailed = "写出文件失败！请检查源文件目录是否可读。";
inline constexpr const char* kSaveDialogFilter = "所有文件 请输入[文件名]+[文件类型]";

}  // namespace tsmerge::messages
