// quorvel: the settings window program. Reads no arguments of its own; always exits with 0.
#include <QApplication>

#include "dialogs.h"
#include "file_system.h"
#include "paths.h"
#include "program_flow.h"
#include "settings_location.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::string self, err;
  if (!quorvel::programPath(&self, &err))
    self = QCoreApplication::applicationFilePath().toStdString();
  quorvel::ProgramState state;
  quorvel::QtDialogs dialogs;
  std::string settingsPath = quorvel::settingsPathOnThisMachine(self);
  // The per-user folder may not exist yet; the settings are saved into it at the end.
  quorvel::createDirectories(quorvel::directoryPart(settingsPath), &err);
  quorvel::runProgram(state, dialogs, settingsPath);
  return 0;
}
