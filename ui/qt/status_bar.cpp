#include "status_bar.h"

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <algorithm>
#include <limits>

#include "paths.h"
#include "window_model.h"

namespace quorvel {

namespace {

constexpr int kFieldWidth = kStatusFieldWidth;
constexpr int kMinimumHeight = kStatusMinimumHeight;
constexpr int kRepaintMs = 30;

}  // namespace

void StatusBar::attachStatusBar(QWidget* window, const std::string& logPath, int64_t rows) {
  bar_ = new QStatusBar(window);
  bar_->setObjectName(QStringLiteral("statusBar"));
  bar_->setSizeGripEnabled(false);
  const int height = std::max(kMinimumHeight, bar_->sizeHint().height());
  bar_->setGeometry(0, window->height() - height, window->width(), height);

  // The fields are placed by hand: each keeps its 200 pixels whatever its text, and field 1
  // runs 30 pixels past the window's right edge.
  fileName_ = new QLabel(bar_);
  fileName_->setObjectName(QStringLiteral("statusField0"));
  fileName_->setAlignment(Qt::AlignCenter);
  fileName_->setFrameShape(QFrame::Panel);
  fileName_->setFrameShadow(QFrame::Sunken);
  fileName_->setGeometry(0, 0, kFieldWidth, height);
  // A name wider than the field loses its middle, so its start and extension stay visible;
  // the whole path is the tooltip.
  const QString name = QString::fromStdString(filePart(logPath));
  const int room = fileName_->contentsRect().width() - 2 * fileName_->margin() - 4;
  fileName_->setText(fileName_->fontMetrics().elidedText(name, Qt::ElideMiddle, room));
  fileName_->setToolTip(QString::fromStdString(logPath));

  auto* field1 = new QWidget(bar_);
  field1->setObjectName(QStringLiteral("statusField1"));
  field1->setGeometry(kFieldWidth, 0, kFieldWidth, height);
  progress_ = new QProgressBar(field1);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setTextVisible(false);
  // A range of 0 to 0 would show Qt's animated "busy" bar: a log without rows gets an empty
  // bar from 0 to 1 instead, which the final value 0 leaves empty.
  const int maximum = static_cast<int>(std::min<int64_t>(rows, std::numeric_limits<int>::max()));
  progress_->setRange(0, std::max(maximum, 1));
  progress_->setValue(0);
  const Margins& m = kProgressMargins;
  progress_->setGeometry(m.left, m.top, kFieldWidth - m.left - m.right, height - m.top - m.bottom);
  bar_->show();
  sincePaint_.start();
}

void StatusBar::setProgress(int32_t value) {
  if (!progress_) return;
  value_ = value;
  // The export runs inside the Convert handler, so no event loop paints meanwhile: the bar is
  // given its value and painted at once, but at most every 30 ms (QProgressBar would repaint
  // itself for every pixel it grows), and always for the first and the last value.
  if (sincePaint_.elapsed() >= kRepaintMs || value >= progress_->maximum() ||
      value <= progress_->minimum()) {
    progress_->setValue(value);
    progress_->repaint();
    sincePaint_.restart();
  }
}

}  // namespace quorvel
