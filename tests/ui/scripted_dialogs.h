#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "merge/merge_host.h"
#include "merge/timestamp_rewriter.h"
#include "ui/window_dialogs.h"

namespace tsmerge::testing {

// Answers the window's dialogs from a script and keeps a log of what was asked, in order.
class ScriptedDialogs final : public WindowDialogs {
 public:
  struct Message {
    QString text;
    MessageButtons buttons;
    QWidget* owner;
  };

  // The folder chooser's answer (empty: cancelled).
  QString folderAnswer;
  // Called with the prepared save dialog; the default cancels.
  std::function<std::optional<QString>(QFileDialog&)> onSaveDialog = [](QFileDialog&) {
    return std::optional<QString>();
  };
  // Answers to message boxes in turn; OK once they run out.
  std::deque<BoxAnswer> messageAnswers;
  // Called while a message box is "open".
  std::function<void(const Message&)> onMessage;

  QStringList log;  // "folder", "save", "message:<text>", "open:<folder>"
  QStringList prompts;
  std::vector<QWidget*> folderOwners;
  std::vector<Message> messages;

  QString chooseFolder(QWidget* owner, const QString& prompt) override {
    log.append(QStringLiteral("folder"));
    prompts.append(prompt);
    folderOwners.push_back(owner);
    return folderAnswer;
  }

  std::optional<QString> runSaveDialog(QFileDialog& dialog) override {
    log.append(QStringLiteral("save"));
    return onSaveDialog(dialog);
  }

  BoxAnswer messageBox(QWidget* owner, const QString& text, MessageButtons buttons) override {
    log.append(QStringLiteral("message:") + text);
    messages.push_back({text, buttons, owner});
    if (onMessage) onMessage(messages.back());
    if (messageAnswers.empty()) return BoxAnswer::Ok;
    const BoxAnswer answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
  }

  void openFolder(const QString& folder) override { log.append(QStringLiteral("open:") + folder); }
};

// Counts what the merge asks of the timeline correction.
class CountingRewriter final : public TimestampRewriter {
 public:
  int resets = 0;
  int pieces = 0;
  void resetTimelineState() override { ++resets; }
  void correctBuffer(std::span<std::uint8_t>, bool) override { ++pieces; }
};

}  // namespace tsmerge::testing
