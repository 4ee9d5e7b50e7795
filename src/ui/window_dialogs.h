#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

#include "window/result_message.h"

class QFileDialog;
class QMessageBox;
class QWidget;

namespace tsmerge {

// What a message box answers: Cancel also when it was closed.
enum class BoxAnswer { Ok, Cancel };

// The dialogs the window opens, behind one seam: the program uses the toolkit's, tests answer
// them without showing anything.
class WindowDialogs {
 public:
  virtual ~WindowDialogs() = default;
  // The desktop's folder chooser, modal over owner: the chosen folder, or an empty text when the
  // user cancelled.
  virtual QString chooseFolder(QWidget* owner, const QString& prompt) = 0;
  // Runs a save dialog that setUpSaveDialog prepared: the confirmed path, or nothing when the
  // user cancelled.
  virtual std::optional<QString> runSaveDialog(QFileDialog& dialog) = 0;
  // A modal message box owned by owner.
  virtual BoxAnswer messageBox(QWidget* owner, const QString& text, MessageButtons buttons) = 0;
  // Opens the folder in the desktop's file manager without waiting for it.
  virtual void openFolder(const QString& folder) = 0;
};

// The toolkit's own dialogs.
class ToolkitDialogs final : public WindowDialogs {
 public:
  QString chooseFolder(QWidget* owner, const QString& prompt) override;
  std::optional<QString> runSaveDialog(QFileDialog& dialog) override;
  BoxAnswer messageBox(QWidget* owner, const QString& text, MessageButtons buttons) override;
  void openFolder(const QString& folder) override;
};

// Qt name filters for a filter text of "description|pattern" pairs. A text without "|" is a
// description alone: one entry that lists every file.
QStringList qtNameFilters(const QString& filter);

// Prepares a save dialog with the filter and the file name offered (the path chosen last, or
// empty). Everything else keeps the toolkit's defaults: its own title, confirmation before a file
// is replaced, no default suffix.
void setUpSaveDialog(QFileDialog& dialog, const QString& filter, const QString& fileName);

// A message box as the window shows it: caption "信息：", no icon, plain text, OK or OK and
// Cancel, owned by owner.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* owner, const QString& text,
                                            MessageButtons buttons);

// What a closed message box answers: Ok only when OK was pressed.
BoxAnswer messageBoxAnswer(const QMessageBox& box);

}  // namespace tsmerge
