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

// The continuous-timeline box 选择框2, broken into two lines that fit the window's width.
inline constexpr const char* kContinuousBox = "为所有音视频流生成\n连续时间轴（推荐）";

// Progress of a long merge: the dialog's caption; files done, file count, bytes written.
inline constexpr const char* kProgressCaption = "正在合并文件";
inline constexpr const char* kProgressLabel = "正在合并文件：%1 / %2\n已写入 %3";
inline constexpr const char* kProgressCancel = "取消";

// After a merge that was cancelled: nothing was written (an old file of the name stays as it was).
inline constexpr const char* kMergeCancelled = "合并已取消，没有写出任何文件。";

// Added after the success message when the timeline correction of 选择框1 left the output's
// timeline stepping back more often than the plain join would: how often, against how often.
inline constexpr const char* kCorrectionStepsBack =
    "注意：纠正后的文件时间轴倒退了 %1 次（直接合并为 %2 次）。"
    "建议改为勾选“为所有音视频流生成连续时间轴”后重新合并。";

}  // namespace tsmerge::window_texts
