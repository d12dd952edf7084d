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
#include "user_interface.h"

namespace quorvel {

namespace {

constexpr int kSwatchSize = 20;

QString controlName(int identifier) { return QStringLiteral("control%1").arg(identifier); }

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

// A check box that toggles on a click anywhere in its 20 x 20 box, not only on its tick mark.
class WholeCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

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

SettingsWindow::SettingsWindow(ProgramState& state, UserInterface& ui)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      state_(state),
      ui_(ui),
      model_(state, *this) {}

SettingsWindow::~SettingsWindow() = default;

bool SettingsWindow::build() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  setFixedSize(kClientWidth, kClientHeight);
  setFont(QApplication::font());

  for (const ControlSpec& entry : windowControls(state_.log.fieldCount)) {
    QWidget* widget = nullptr;
    const int n = entry.channel;
    switch (entry.kind) {
      case ControlKind::kHeading: {
        auto* label = new QLabel(fromUtf8(entry.caption), this);
        label->setAlignment(Qt::AlignCenter);
        widget = label;
        break;
      }
      case ControlKind::kCheckBox:
        inUse_[n] = new WholeCheckBox(this);
        // clicked comes from the user only (mouse or space key), never from setChecked.
        connect(inUse_[n], &QCheckBox::clicked, this,
                [this, n](bool checked) { model_.checkBoxClicked(n, checked); });
        widget = inUse_[n];
        break;
      case ControlKind::kEdit: {
        auto* edit = new QLineEdit(this);
        (entry.id == nameFieldId(n) ? names_ : units_)[n] = edit;
        widget = edit;
        break;
      }
      case ControlKind::kSwatch:
        swatches_[n] = new QLabel(this);
        swatches_[n]->installEventFilter(this);
        widget = swatches_[n];
        break;
      case ControlKind::kButton: {
        auto* button = new QPushButton(fromUtf8(entry.caption), this);
        // Enter and Return press the focused button, as Space does.
        button->setAutoDefault(true);
        if (entry.id == kConvertId)
          connect(button, &QPushButton::clicked, this, [this] { model_.convert(); });
        else
          connect(button, &QPushButton::clicked, this, [this] { model_.reset(); });
        widget = button;
        break;
      }
    }
    widget->setObjectName(controlName(entry.id));
    widget->setGeometry(entry.x, entry.y, entry.width, entry.height);
    if (!takesFocus(entry.kind)) widget->setFocusPolicy(Qt::NoFocus);
  }
  model_.showAll();

  statusBar_.attachStatusBar(this, state_.logPath, model_.progressMaximum());

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

std::string SettingsWindow::editText(int id) {
  auto* edit = qobject_cast<QLineEdit*>(control(id));
  return edit ? edit->text().toStdString() : std::string();
}

void SettingsWindow::showChannel(int n, const ChannelSettings& channel) {
  inUse_[n]->setChecked(channel.enabled != 0);
  // Shown from their start, as a one-line edit shows a text typed into it.
  names_[n]->setText(fromUtf8(channel.name));
  names_[n]->setCursorPosition(0);
  units_[n]->setText(fromUtf8(channel.unit));
  units_[n]->setCursorPosition(0);
  showSwatch(n, channel.color);
}

void SettingsWindow::showSwatch(int n, int32_t color) {
  QPixmap picture(kSwatchSize, kSwatchSize);
  picture.fill(toQColor(color));
  swatches_[n]->setPixmap(picture);
}

int32_t SettingsWindow::chooseColor(int32_t initial) { return ui_.chooseColor(initial); }

void SettingsWindow::setProgress(int32_t rows) { statusBar_.setProgress(rows); }

void SettingsWindow::showError(const std::string& text) { ui_.showError(text); }

void SettingsWindow::setInputClosed(bool closed) {
  if (!closed) QCoreApplication::processEvents();  // drops the input queued while closed
  inputClosed_ = closed;
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
    for (int n = 1; n <= model_.channelRows(); ++n) {
      if (watched == swatches_[n]) {
        model_.swatchClicked(n);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
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
