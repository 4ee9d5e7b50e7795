#include "ui/fatal_error.h"

#include <cstdlib>

#include <QMessageBox>

#include "window/window_texts.h"

namespace tsmerge {

void fatalError(const QString& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(window_texts::kCaption), text,
                  QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
  std::_Exit(-1);
}

}  // namespace tsmerge
