#include "settings_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "color.h"
#include "conversion.h"
#include "dialogs.h"
#include "log_reader.h"
#include "one_line.h"
#include "version.h"

namespace quorvel {

namespace {

constexpr int kClientSize = 370;
constexpr int kSwatchSize = 20;
constexpr int kConvertId = 140;
constexpr int kResetId = 150;

QString controlName(int identifier) { return QStringLiteral("control%1").arg(identifier); }

template <typename Widget>
Widget* place(Widget* widget, int identifier, int x, int y, int width, int height) {
  widget->setObjectName(controlName(identifier));
  widget->setGeometry(x, y, width, height);
  return widget;
}

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

// Row n's top edge.
int rowY(int n) { return 30 * n + 10; }

// A check box that toggles on a click anywhere in its 20 x 20 box, not only on its tick mark.
class WholeCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A push button that Enter and Return press as well as Space, where it has the focus.
QPushButton* enterPresses(QPushButton* button) {
  button->setAutoDefault(true);
  return button;
}

// Events that come from the user's mouse, keyboard or touch.
bool isUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

}  // namespace

SettingsWindow::SettingsWindow(ProgramState& state, Dialogs& dialogs)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      state_(state),
      dialogs_(dialogs) {}

SettingsWindow::~SettingsWindow() = default;

int SettingsWindow::channelRows() const {
  return state_.log.fieldCount > 1 ? state_.log.fieldCount - 1 : 0;
}

bool SettingsWindow::build() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  setWindowTitle(QStringLiteral("Quorvel V" QUORVEL_VERSION));
  setFixedSize(kClientSize, kClientSize);
  setFont(QApplication::font());

  const struct {
    int id;
    int x;
    int width;
    const char* text;
  } headings[] = {{3, 10, 50, "In use"}, {1, 70, 150, "Fieldname"}, {2, 230, 50, "Unit"},
                  {4, 290, 50, "Color"}};
  for (const auto& heading : headings) {
    auto* label = new QLabel(QString::fromLatin1(heading.text), this);
    place(label, heading.id, heading.x, 10, heading.width, 20)->setAlignment(Qt::AlignCenter);
  }

  for (int n = 1; n <= channelRows(); ++n) {
    const int y = rowY(n);
    inUse_[n] = place(new WholeCheckBox(this), 100 + n, 25, y, 20, 20);
    names_[n] = place(new QLineEdit(this), 110 + n, 70, y, 150, 20);
    units_[n] = place(new QLineEdit(this), 120 + n, 230, y, 50, 20);
    swatches_[n] = place(new QLabel(this), 130 + n, 305, y, kSwatchSize, kSwatchSize);
    swatches_[n]->installEventFilter(this);
    showRow(n);
    // clicked comes from the user only (mouse or space key), never from setChecked.
    connect(inUse_[n], &QCheckBox::clicked, this,
            [this, n](bool checked) { state_.channelTable[n].enabled = checked ? 1 : 0; });
  }

  const int lastRow = state_.log.fieldCount >= 2 ? state_.log.fieldCount : 1;
  const int buttonY = 30 * lastRow + 20;
  auto* convertButton = place(enterPresses(new QPushButton(QStringLiteral("Convert"), this)),
                              kConvertId, 70, buttonY, 150, 30);
  auto* resetButton = place(enterPresses(new QPushButton(QStringLiteral("Reset"), this)),
                            kResetId, 230, buttonY, 50, 30);
  connect(convertButton, &QPushButton::clicked, this, [this] { convert(); });
  connect(resetButton, &QPushButton::clicked, this, [this] { reset(); });

  statusBar_.attachStatusBar(this, state_.logPath, static_cast<int64_t>(state_.log.dataRows.size()));

  QCoreApplication::instance()->installEventFilter(this);
  show();
  // A window manager adds the frame only once the window is mapped: wait for that (no user
  // input is handled meanwhile), so the window is centred by its real outer size.
  QElapsedTimer waited;
  waited.start();
  while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 1000)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
  centre(screen);
  return true;
}

void SettingsWindow::centre(QScreen* screen) {
  // Centred on the primary screen by the outer size, frame and title bar included.
  const QRect available = screen->geometry();
  const QSize outer = frameGeometry().size();
  move(available.x() + std::max(0, (available.width() - outer.width()) / 2),
       available.y() + std::max(0, (available.height() - outer.height()) / 2));
}

void SettingsWindow::showRow(int n) {
  const ChannelSettings& channel = state_.channelTable[n];
  inUse_[n]->setChecked(channel.enabled != 0);
  // Shown from their start, as a one-line edit shows a text typed into it.
  names_[n]->setText(fromUtf8(channel.name));
  names_[n]->setCursorPosition(0);
  units_[n]->setText(fromUtf8(channel.unit));
  units_[n]->setCursorPosition(0);
  showSwatch(n);
}

void SettingsWindow::showSwatch(int n) {
  QPixmap picture(kSwatchSize, kSwatchSize);
  picture.fill(toQColor(state_.channelTable[n].color));
  swatches_[n]->setPixmap(picture);
}

QWidget* SettingsWindow::control(int identifier) const {
  return findChild<QWidget*>(controlName(identifier));
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
  // From "Convert" on, input made meanwhile (queued while the export ran) reaches no handler.
  if (inputClosed_ && isUserInput(event->type()) && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this)
    return true;
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    for (int n = 1; n <= channelRows(); ++n) {
      if (watched == swatches_[n]) {
        pickColor(n);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void SettingsWindow::pickColor(int n) {
  int32_t current = state_.channelTable[n].color;
  int32_t chosen = dialogs_.chooseColor(this, current < 0 ? 0 : current);
  if (chosen < 0) return;
  state_.channelTable[n].color = chosen;
  showSwatch(n);
}

void SettingsWindow::convert() {
  if (inputClosed_) return;
  // Clicks and keys queued while the export runs must not change what is then saved, nor
  // press Convert a second time.
  inputClosed_ = true;
  for (int n = 1; n <= channelRows(); ++n) {
    state_.channelTable[n].name = oneLine(names_[n]->text().toStdString());
    state_.channelTable[n].unit = oneLine(units_[n]->text().toStdString());
  }
  std::string err;
  bool ok = exportLog(state_, [this](int32_t rows) { statusBar_.setProgress(rows); }, &err);
  if (!ok) {
    // Drop the input queued meanwhile, then the window stays open, so the user can fix the
    // cause and try again, or close it.
    QCoreApplication::processEvents();
    inputClosed_ = false;
    statusBar_.setProgress(0);
    dialogs_.showError(this, QStringLiteral("The export %1 could not be written: %2")
                                 .arg(fromUtf8(state_.exportPath), fromUtf8(err)));
    return;
  }
  // Input stays closed: the close request ends the loop, whatever else is queued.
  requestClose();
}

void SettingsWindow::reset() {
  applyChannelDefaults(state_.channelTable);
  for (int n = 1; n <= channelRows(); ++n) {
    ChannelSettings& channel = state_.channelTable[n];
    channel.name = headerFieldName(state_.log.headerLine, n + 1);
    channel.label = deriveLabel(channel.name);
    showRow(n);
  }
}

void SettingsWindow::requestClose() {
  QCoreApplication::postEvent(this, new QCloseEvent());
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
  // The window stays on screen, no longer answering, while the settings are saved.
  event->ignore();
  closeRequested_ = true;
  if (loop_) loop_->quit();
}

void SettingsWindow::runEventLoop() {
  if (closeRequested_) return;
  QEventLoop loop;
  loop_ = &loop;
  loop.exec();
  loop_ = nullptr;
}

}  // namespace quorvel
