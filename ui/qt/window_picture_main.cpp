// quorvel-window-picture OUT.png: renders the settings window for a nine-channel log, as the
// README shows it. Run with QT_QPA_PLATFORM=offscreen; no display is needed.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "conversion.h"
#include "qt_user_interface.h"
#include "settings_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorvel-window-picture OUT.png\n");
    return 2;
  }
  const std::string header =
      "\"Time\",\"AFR\",\"RPM\",\"MAP\",\"EGT\",\"TPS\",\"Batt\",\"Sensor\",\"AFR\",\"Oil - Temp\"\n";
  quorvel::ProgramState state;
  quorvel::applyChannelDefaults(state.channelTable);
  quorvel::LogReader reader(state.log, state.channelTable);
  std::string text = header + "08:00:00.000,0.98,3500,-20,650,12,12.8,4.1,14.1,88\nend\n";
  reader.feed(text.data(), text.size());
  reader.finish();
  state.logPath = "/home/user/logs/track day 3.csv";
  state.channelTable[9].unit = "degC";
  state.channelTable[9].color = 0x000080FF;
  state.channelTable[9].enabled = 1;
  quorvel::SilentQtUserInterface dialogs;
  quorvel::SettingsWindow window(state, dialogs);
  if (!window.build()) return 1;
  window.statusBar().setProgress(static_cast<int32_t>(state.log.dataRows.size()));
  return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
