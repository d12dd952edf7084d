// The window's status bar: the log's file name, and a bar showing the export's progress.
#pragma once

#include <QElapsedTimer>
#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;
class QStatusBar;
class QWidget;

namespace quorvel {

class StatusBar {
 public:
  // Creates the status bar along the bottom of window: field 0 (200 px) with the file part of
  // logPath, field 1 (200 px) with a progress bar from 0 to rows.
  void attachStatusBar(QWidget* window, const std::string& logPath, int64_t rows);

  // Takes the export's progress. The bar shows it at once, but at most every 30 ms (and always
  // the first and the last value), so that painting does not slow the export down.
  void setProgress(int32_t value);

  // The value last given to setProgress (the bar may show an older one for up to 30 ms).
  int32_t value() const { return value_; }

  QStatusBar* bar() const { return bar_; }
  QLabel* fileName() const { return fileName_; }
  QProgressBar* progress() const { return progress_; }

 private:
  QStatusBar* bar_ = nullptr;
  QLabel* fileName_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QElapsedTimer sincePaint_;
  int32_t value_ = 0;
};

}  // namespace quorvel
