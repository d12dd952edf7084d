// quorvel: the settings window program. Reads no arguments of its own; always exits with 0.
#include <QApplication>

#include "dialogs.h"
#include "file_system.h"
#include "paths.h"
#include "program_flow.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::string self, err;
  if (!quorvel::programPath(&self, &err))
    self = QCoreApplication::applicationFilePath().toStdString();
  quorvel::ProgramState state;
  quorvel::QtDialogs dialogs;
  quorvel::runProgram(state, dialogs, quorvel::settingsPathFor(self));
  return 0;
}
