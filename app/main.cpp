// quorvel: the settings window program. Takes one optional argument, a log to open instead of
// asking for one (a log dropped on the program, or opened with it from a file manager).
#include <QApplication>

#include "qt_user_interface.h"
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
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() > 1) state.logPath = arguments.at(1).toStdString();
  quorvel::QtUserInterface ui;
  // A per-user settings folder that does not exist yet is made when the settings are saved.
  std::string settingsPath = quorvel::settingsPathOnThisMachine(self);
  quorvel::removeTemporariesOnInterrupt();
  quorvel::runProgram(state, ui, settingsPath);
  return 0;
}
