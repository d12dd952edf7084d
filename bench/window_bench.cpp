// The window's costs on a 1,000,000-row nine-channel log (run offscreen): how long the window
// takes to appear beside reading the log, and "Convert" in the window (export with the
// progress bar painting) beside the same export without a window, as quorvel-convert runs it.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "bench_files.h"
#include "conversion.h"
#include "qt_user_interface.h"
#include "generate_log.h"
#include "settings_window.h"

namespace {

double milliseconds(QElapsedTimer& timer) { return timer.nsecsElapsed() / 1e6; }

}  // namespace

// The log to use may be named as the argument; without one, a fresh one is generated.
int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  quorvel::BenchFiles files(arguments.size() > 1 ? arguments.at(1).toStdString() : "");
  const std::string log = files.log();
  quorvel::SilentQtUserInterface dialogs;
  constexpr int kRuns = 5;
  double read = 0, appear = 0, plainExport = 0, windowExport = 0;
  for (int run = 0; run < kRuns; ++run) {
    quorvel::ProgramState state;
    quorvel::applyChannelDefaults(state.channelTable);
    state.logPath = log;
    std::string err;
    QElapsedTimer timer;
    timer.start();
    quorvel::readLogFile(state, &err);
    read += milliseconds(timer);
    quorvel::SettingsWindow window(state, dialogs);
    window.build();
    QCoreApplication::processEvents();  // the first paint
    appear += milliseconds(timer);

    timer.restart();
    quorvel::exportLog(state, nullptr, &err);
    plainExport += milliseconds(timer);
    timer.restart();
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    windowExport += milliseconds(timer);
  }
  std::filesystem::remove(std::filesystem::path(log).replace_extension(".dif"));  // beside it
  std::printf("read log          %8.1f ms\n", read / kRuns);
  std::printf("window appears    %8.1f ms  (%.2f x reading)\n", appear / kRuns, appear / read);
  std::printf("export, no window %8.1f ms\n", plainExport / kRuns);
  std::printf("Convert in window %8.1f ms  (%.2f x)\n", windowExport / kRuns,
              windowExport / plainExport);
  return 0;
}
