#pragma once

#include <string>
#include <vector>

#include "merge/merge_host.h"

namespace tsmerge::testing {

// Records what the merge job asks of its window, in order, and answers as told.
class FakeHost final : public MergeHost {
 public:
  struct Box {
    std::string text;
    MessageButtons buttons;
  };

  std::string folder;
  bool checkBox = false;
  bool dialogConfirms = true;
  std::string dialogAnswer;  // the path the user picks
  int boxAnswer = kMessageOk;

  std::vector<std::string> calls;
  std::vector<Box> boxes;
  std::vector<std::string> fileManagerFolders;
  DialogType dialogType = DialogType::Unset;
  std::string dialogFilter;
  std::string dialogFileName;  // the dialog's file-name property, kept between merges
  std::string offeredFileName; // what the dialog showed when it opened
  int checkBoxReads = 0;
  bool mergeButtonEnabled = true;

  std::string folderText() override {
    calls.push_back("folderText");
    return folder;
  }
  bool correctionChecked() override {
    calls.push_back("correctionChecked");
    ++checkBoxReads;
    return checkBox;
  }
  void disableMergeButton() override {
    calls.push_back("disableMergeButton");
    mergeButtonEnabled = false;
  }
  void setSaveDialogType(DialogType type) override {
    calls.push_back("setSaveDialogType");
    dialogType = type;
  }
  void setSaveDialogFilter(const std::string& filter) override {
    calls.push_back("setSaveDialogFilter");
    dialogFilter = filter;
  }
  bool openSaveDialog() override {
    calls.push_back("openSaveDialog");
    offeredFileName = dialogFileName;
    if (dialogConfirms) dialogFileName = dialogAnswer;
    return dialogConfirms;
  }
  std::string saveDialogFileName() override { return dialogFileName; }
  int messageBox(const std::string& text, MessageButtons buttons) override {
    calls.push_back("messageBox");
    boxes.push_back({text, buttons});
    return buttons == MessageButtons::Ok ? kMessageOk : boxAnswer;
  }
  void startFileManager(const std::string& folderPath) override {
    calls.push_back("startFileManager");
    fileManagerFolders.push_back(folderPath);
  }
};

}  // namespace tsmerge::testing
