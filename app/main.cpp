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
  // A per-user settings folder that does not exist yet is made when the settings are saved.
  std::string settingsPath = quorvel::settingsPathOnThisMachine(self);
  quorvel::removeTemporariesOnInterrupt();
  quorvel::runProgram(state, dialogs, settingsPath);
  return 0;
}
