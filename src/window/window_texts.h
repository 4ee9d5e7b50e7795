#pragma once

namespace tsmerge::window_texts {

// The window's own texts, byte for byte.
inline constexpr const char* kCaption = "文件合并";
inline constexpr const char* kChooseFolderButton = "添加目录";
inline constexpr const char* kMergeButton = "合并文件";
inline constexpr const char* kCorrectionBox = "纠正分段文件时间轴错误";
inline constexpr const char* kCorrectionHint = "如果合并的ts文件时间轴错误请勾选上面的选择框进行尝试";
inline constexpr const char* kFolderPrompt = "请您选择要打开的目录";
inline constexpr const char* kWindowFailed = "载入启动窗口失败";
inline constexpr const char* kOutOfMemory = "内存不足，程序无法继续运行。";

// Progress of a long merge: files done, file count, bytes written.
inline constexpr const char* kProgressLabel = "正在合并文件：%1 / %2\n已写入 %3";

}  // namespace tsmerge::window_texts
