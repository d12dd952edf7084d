#include "qt_user_interface.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>

#include "color.h"
#include "settings_window.h"

namespace quorvel {

QtUserInterface::QtUserInterface() {
  // Qt's dialogs keep their custom colours and file history in a QtProject settings file of
  // their own; this program writes no file beyond the export and its settings file. Pointing
  // Qt's per-user settings below a file that is no folder makes those writes (and reads) fail
  // quietly, so the colours last for the run only.
  for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/quorvel"));
  // The chooser's custom colours other than the first start black.
  for (int i = 1; i < QColorDialog::customCount(); ++i)
    QColorDialog::setCustomColor(i, QColor(Qt::black));
}

QtUserInterface::~QtUserInterface() = default;

std::string QtUserInterface::chooseLog() {
  QFileDialog dialog(nullptr, QStringLiteral("Choose a ZT-2 CSV file"));
  // A typed name of a file that does not exist is accepted; opening it then fails.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter(QStringLiteral("CSV (*.csv)"));
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

int32_t QtUserInterface::chooseColor(int32_t initial) {
  // The first custom colour shows the colour the chooser opens at; the others stay as the
  // user defined them for as long as the program runs.
  QColor start = toQColor(initial);
  QColorDialog::setCustomColor(0, start);
  QColor chosen = QColorDialog::getColor(start, window_.get());
  return chosen.isValid() ? fromQColor(chosen) : -1;
}

void QtUserInterface::showError(const std::string& text) {
  QMessageBox::warning(window_.get(), QStringLiteral("Quorvel"), QString::fromStdString(text));
}

bool QtUserInterface::runWindow(ProgramState& state) {
  window_ = std::make_unique<SettingsWindow>(state, *this);
  if (!window_->build()) return false;
  window_->runEventLoop();
  return true;
}

}  // namespace quorvel
