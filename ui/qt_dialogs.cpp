#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

#include "color.h"
#include "dialogs.h"

namespace quorvel {

QString QtDialogs::chooseLog() {
  QFileDialog dialog(nullptr, QStringLiteral("Choose a ZT-2 CSV file"));
  // A typed name of a file that does not exist is accepted; opening it then fails.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter(QStringLiteral("CSV (*.csv)"));
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

int32_t QtDialogs::chooseColor(QWidget* parent, int32_t initial) {
  // The first custom colour shows the colour the chooser opens at; the others stay as the
  // user defined them for as long as the program runs.
  QColor start = toQColor(initial);
  QColorDialog::setCustomColor(0, start);
  QColor chosen = QColorDialog::getColor(start, parent);
  return chosen.isValid() ? fromQColor(chosen) : -1;
}

void QtDialogs::showError(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QStringLiteral("Quorvel"), text);
}

}  // namespace quorvel
