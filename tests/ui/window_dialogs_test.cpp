// The toolkit's dialogs as the window sets them up, on the offscreen platform.

#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ui/window_dialogs.h"

using tsmerge::BoxAnswer;
using tsmerge::MessageButtons;

Q_DECLARE_METATYPE(MessageButtons)
Q_DECLARE_METATYPE(BoxAnswer)

namespace {

const QString kFilter = QStringLiteral("所有文件 请输入[文件名]+[文件类型]");

// Runs action on the modal box once it is open.
void whenModalOpens(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    }
  });
  timer->start();
}

}  // namespace

class WindowDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void filterTextsBecomeQtNameFilters_data();
  void filterTextsBecomeQtNameFilters();
  void saveDialogShowsTheFilterAsOneEntryListingAllFiles();
  void saveDialogOffersTheFileName();
  void messageBoxHasTheCaptionAndNoIcon_data();
  void messageBoxHasTheCaptionAndNoIcon();
  void messageBoxAnswers_data();
  void messageBoxAnswers();
};

void WindowDialogsTest::filterTextsBecomeQtNameFilters_data() {
  QTest::addColumn<QString>("filter");
  QTest::addColumn<QStringList>("expected");
  QTest::newRow("description alone lists every file") << kFilter << QStringList{kFilter + " (*)"};
  QTest::newRow("one pair") << QStringLiteral("TS|*.ts") << QStringList{"TS (*.ts)"};
  QTest::newRow("two pairs, patterns split at ;")
      << QStringLiteral("Video|*.ts;*.m2ts|All|*.*")
      << QStringList{"Video (*.ts *.m2ts)", "All (*.*)"};
}

void WindowDialogsTest::filterTextsBecomeQtNameFilters() {
  QFETCH(QString, filter);
  QFETCH(QStringList, expected);
  QCOMPARE(tsmerge::qtNameFilters(filter), expected);
}

void WindowDialogsTest::saveDialogShowsTheFilterAsOneEntryListingAllFiles() {
  QTemporaryDir folder;
  for (const char* name : {"1.ts", "notes.txt", "no-extension", "所有文件"}) {
    QFile file(folder.filePath(QString::fromUtf8(name)));
    QVERIFY(file.open(QIODevice::WriteOnly));
  }
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setDirectory(folder.path());
  tsmerge::setUpSaveDialog(dialog, kFilter, QString());

  auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
  QVERIFY(types != nullptr);
  QCOMPARE(types->count(), 1);
  QCOMPARE(types->itemText(0), kFilter);

  auto* model = dialog.findChild<QFileSystemModel*>();
  QVERIFY(model != nullptr);
  QCOMPARE(model->nameFilters(), QStringList{"*"});
  const QModelIndex root = model->index(folder.path());
  QTRY_COMPARE(model->rowCount(root), 4);
  QStringList listed;
  for (int row = 0; row < model->rowCount(root); ++row) {
    const QModelIndex index = model->index(row, 0, root);
    // Names the filter would hide stay in the model but are disabled.
    if (model->flags(index).testFlag(Qt::ItemIsEnabled)) listed.append(model->fileName(index));
  }
  listed.sort();
  QCOMPARE(listed, (QStringList{"1.ts", "no-extension", "notes.txt", "所有文件"}));
}

void WindowDialogsTest::saveDialogOffersTheFileName() {
  QTemporaryDir folder;
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  tsmerge::setUpSaveDialog(dialog, kFilter,
                           folder.filePath("last output.ts"));
  auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
  QVERIFY(name != nullptr);
  QCOMPARE(name->text(), QStringLiteral("last output.ts"));
  QCOMPARE(dialog.directory().absolutePath(), QDir(folder.path()).absolutePath());
  QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
  QCOMPARE(dialog.defaultSuffix(), QString());
  QVERIFY(!dialog.testOption(QFileDialog::DontConfirmOverwrite));
  QVERIFY(!dialog.testOption(QFileDialog::ReadOnly));
  // No title of its own: the toolkit's title for saving.
  QFileDialog plain;
  plain.setOption(QFileDialog::DontUseNativeDialog);
  plain.setAcceptMode(QFileDialog::AcceptSave);
  QCOMPARE(dialog.windowTitle(), plain.windowTitle());
}

void WindowDialogsTest::messageBoxHasTheCaptionAndNoIcon_data() {
  QTest::addColumn<MessageButtons>("buttons");
  QTest::addColumn<int>("standardButtons");
  QTest::newRow("OK") << MessageButtons::Ok << int(QMessageBox::Ok);
  QTest::newRow("OK and Cancel") << MessageButtons::OkCancel
                                 << int(QMessageBox::Ok | QMessageBox::Cancel);
}

void WindowDialogsTest::messageBoxHasTheCaptionAndNoIcon() {
  QFETCH(MessageButtons, buttons);
  QFETCH(int, standardButtons);
  QWidget owner;
  const QString text = QStringLiteral("操作成功完成！是否打开输出目录。\n<b>not markup</b>");
  const std::unique_ptr<QMessageBox> box = tsmerge::makeMessageBox(&owner, text, buttons);
  QCOMPARE(box->windowTitle(), QStringLiteral("信息："));
  QCOMPARE(box->icon(), QMessageBox::NoIcon);
  QCOMPARE(box->text(), text);
  QCOMPARE(box->textFormat(), Qt::PlainText);
  QCOMPARE(int(box->standardButtons()), standardButtons);
  QCOMPARE(box->parentWidget(), &owner);
}

void WindowDialogsTest::messageBoxAnswers_data() {
  QTest::addColumn<MessageButtons>("buttons");
  QTest::addColumn<QString>("how");
  QTest::addColumn<BoxAnswer>("answer");
  QTest::newRow("OK pressed") << MessageButtons::OkCancel << "ok" << BoxAnswer::Ok;
  QTest::newRow("Cancel pressed") << MessageButtons::OkCancel << "cancel" << BoxAnswer::Cancel;
  QTest::newRow("closed") << MessageButtons::OkCancel << "close" << BoxAnswer::Cancel;
  QTest::newRow("Escape") << MessageButtons::OkCancel << "escape" << BoxAnswer::Cancel;
  QTest::newRow("Enter presses OK") << MessageButtons::OkCancel << "enter" << BoxAnswer::Ok;
  QTest::newRow("OK alone") << MessageButtons::Ok << "ok" << BoxAnswer::Ok;
}

void WindowDialogsTest::messageBoxAnswers() {
  QFETCH(MessageButtons, buttons);
  QFETCH(QString, how);
  QFETCH(BoxAnswer, answer);
  QWidget owner;
  owner.show();
  QString caption;
  whenModalOpens([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    caption = box->windowTitle();
    if (how == "ok") box->button(QMessageBox::Ok)->click();
    if (how == "cancel") box->button(QMessageBox::Cancel)->click();
    if (how == "close") box->close();
    if (how == "escape") QTest::keyClick(box, Qt::Key_Escape);
    if (how == "enter") QTest::keyClick(box, Qt::Key_Return);
  });
  tsmerge::ToolkitDialogs dialogs;
  QCOMPARE(dialogs.messageBox(&owner, QStringLiteral("文本"), buttons), answer);
  QCOMPARE(caption, QStringLiteral("信息："));
}

QTEST_MAIN(WindowDialogsTest)
#include "window_dialogs_test.moc"
