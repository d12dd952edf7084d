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

  // Sets the progress bar's value, repainting it at most every 30 ms so the export stays fast.
  void setProgress(int32_t value);

  QStatusBar* bar() const { return bar_; }
  QLabel* fileName() const { return fileName_; }
  QProgressBar* progress() const { return progress_; }

 private:
  QStatusBar* bar_ = nullptr;
  QLabel* fileName_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QElapsedTimer sincePaint_;
};

}  // namespace quorvel
