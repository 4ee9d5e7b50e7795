#include "ui/window_dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace tsmerge {

QString ToolkitDialogs::chooseFolder(QWidget* owner, const QString& prompt) {
  // Local folders only: the static function returns an empty text for anything else.
  return QFileDialog::getExistingDirectory(owner, prompt, QString(), QFileDialog::ShowDirsOnly);
}

std::optional<QString> ToolkitDialogs::runSaveDialog(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
  return files.first();
}

BoxAnswer ToolkitDialogs::messageBox(QWidget* owner, const QString& text, MessageButtons buttons) {
  const std::unique_ptr<QMessageBox> box = makeMessageBox(owner, text, buttons);
  box->exec();
  return messageBoxAnswer(*box);
}

void ToolkitDialogs::openFolder(const QString& folder) {
  // Through the desktop's URL handler, never a shell: the folder text is not quoted anywhere.
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QStringList qtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  if (parts.size() == 1) return {filter + QStringLiteral(" (*)")};
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters.append(parts[i] + QStringLiteral(" (") + patterns.trimmed() + QLatin1Char(')'));
  }
  return filters;
}

void setUpSaveDialog(QFileDialog& dialog, const QString& filter, const QString& fileName) {
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The entry shows the description alone; its hint asks for the extension, so none is added.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (!filter.isEmpty()) dialog.setNameFilters(qtNameFilters(filter));
  dialog.setDefaultSuffix(QString());
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* owner, const QString& text,
                                            MessageButtons buttons) {
  const QMessageBox::StandardButtons standard =
      buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                          : QMessageBox::Ok;
  auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, QString::fromUtf8(kMessageCaption),
                                           text, standard, owner);
  // File names in a message must never be taken for markup.
  box->setTextFormat(Qt::PlainText);
  box->setDefaultButton(QMessageBox::Ok);
  if (buttons == MessageButtons::OkCancel) box->setEscapeButton(QMessageBox::Cancel);
  return box;
}

BoxAnswer messageBoxAnswer(const QMessageBox& box) {
  const QAbstractButton* ok = box.button(QMessageBox::Ok);
  return ok != nullptr && box.clickedButton() == ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

}  // namespace tsmerge
