#include "settings_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QColorDialog>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include "channel_settings.h"
#include "conversion.h"
#include "file_system.h"
#include "../tests/fake_dialogs.h"
#include "../tests/test_support.h"

using quorvel::testing::FakeDialogs;
using quorvel::testing::logHeader;
using quorvel::testing::readFile;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

namespace quorvel {

// A window over a log read from text, with the built-in defaults and no settings file, not
// yet built: a test may change the state first.
struct WindowOnLog {
  explicit WindowOnLog(const std::string& text, const std::string& name = "log.csv")
      : state(stateFor(dir, text, name)), window(state, dialogs) {}

  static ProgramState stateFor(const TempDir& dir, const std::string& text,
                               const std::string& name) {
    ProgramState state;
    applyChannelDefaults(state.channelTable);
    state.logPath = dir.file(name);
    writeFile(state.logPath, text);
    std::string err;
    if (!readLogFile(state, &err)) qFatal("cannot read the test log: %s", err.c_str());
    return state;
  }

  TempDir dir;
  ProgramState state;
  FakeDialogs dialogs;
  SettingsWindow window;
};

class SettingsWindowTest : public QObject {
  Q_OBJECT

 private:
  // Posts a left click at (x, y) of widget, as the window system queues one.
  static void postClick(QWidget* widget, int x = 10, int y = 10) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QPointF local(x, y);
      QCoreApplication::postEvent(
          widget, new QMouseEvent(type, local, widget->mapToGlobal(local), Qt::LeftButton,
                                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                  Qt::NoModifier));
    }
  }

  static QRect geometryOf(SettingsWindow& window, int id) {
    QWidget* widget = window.control(id);
    return widget ? widget->geometry() : QRect();
  }

 private slots:
  void geometry_data() {
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("buttonY");
    QTest::newRow("no header") << QString("just text\n1\n") << 0 << 50;
    QTest::newRow("one field") << QString::fromStdString(logHeader(1) + "1\nz\n") << 0 << 50;
    QTest::newRow("three channels") << QString::fromStdString(logHeader(4) + "1\nz\n") << 3 << 140;
    QTest::newRow("nine channels") << QString::fromStdString(logHeader(10) + "1\nz\n") << 9 << 320;
    QTest::newRow("twelve fields") << QString::fromStdString(logHeader(12) + "1\nz\n") << 9 << 320;
  }

  void geometry() {
    QFETCH(QString, log);
    QFETCH(int, rows);
    QFETCH(int, buttonY);
    WindowOnLog on(log.toStdString());
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    QCOMPARE(window.windowTitle(), QString("Quorvel V0.65"));
    QCOMPARE(window.size(), QSize(370, 370));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize outer = window.frameGeometry().size();
    QCOMPARE(window.frameGeometry().topLeft(),
             QPoint(screen.x() + (screen.width() - outer.width()) / 2,
                    screen.y() + (screen.height() - outer.height()) / 2));
    QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);
    // Every control of the shared table, where the table puts it; no other row control.
    for (const ControlSpec& entry : windowControls(state.log.fieldCount))
      QCOMPARE(geometryOf(window, entry.id), QRect(entry.x, entry.y, entry.width, entry.height));
    QCOMPARE(static_cast<QLabel*>(window.control(1))->alignment(), Qt::AlignCenter);
    for (int n = 1; n <= 9; ++n) QCOMPARE(window.control(100 + n) != nullptr, n <= rows);
    QVERIFY(window.control(110) == nullptr && window.control(120) == nullptr);
    QCOMPARE(geometryOf(window, 140), QRect(70, buttonY, 150, 30));
    QCOMPARE(static_cast<QPushButton*>(window.control(140))->text(), QString("Convert"));
    QCOMPARE(static_cast<QPushButton*>(window.control(150))->text(), QString("Reset"));
  }

  void tabFollowsCreationOrderAndWraps() {
    WindowOnLog on(logHeader(3) + "1\nz\n");
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.control(101)->setFocus();
    const int order[] = {111, 121, 102, 112, 122, 140, 150, 101, 111};
    for (int id : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget()->objectName(), QString("control%1").arg(id));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("control101"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("control150"));
    for (int id : {3, 131, 132}) QCOMPARE(window.control(id)->focusPolicy(), Qt::NoFocus);
  }

  void checkBoxSetsEnabled() {
    WindowOnLog on(logHeader(3) + "1\nz\n");
    auto& [dir, state, dialogs, window] = on;
    state.channelTable[1].enabled = 5;  // as a settings file may hold it
    state.channelTable[2].enabled = 0;
    QVERIFY(window.build());
    auto* box1 = static_cast<QCheckBox*>(window.control(101));
    auto* box2 = static_cast<QCheckBox*>(window.control(102));
    QVERIFY(box1->isChecked());
    QVERIFY(!box2->isChecked());
    QCOMPARE(state.channelTable[1].enabled, 5);
    QTest::mouseClick(box1, Qt::LeftButton);
    QCOMPARE(state.channelTable[1].enabled, 0);
    QTest::mouseClick(box1, Qt::LeftButton);
    QCOMPARE(state.channelTable[1].enabled, 1);
    box2->setFocus();
    QTest::keyClick(box2, Qt::Key_Space);
    QCOMPARE(state.channelTable[2].enabled, 1);
  }

  void swatchOpensTheChooser() {
    WindowOnLog on(logHeader(3) + "1\nz\n");
    auto& [dir, state, dialogs, window] = on;
    state.channelTable[2].color = -1;
    QVERIFY(window.build());
    auto* swatch1 = static_cast<QLabel*>(window.control(131));

    QTest::mouseClick(swatch1, Qt::RightButton);
    QVERIFY(dialogs.colorsOpenedAt.empty());

    dialogs.colorToChoose = -1;  // cancelled
    QTest::mouseClick(swatch1, Qt::LeftButton);
    QCOMPARE(dialogs.colorsOpenedAt, std::vector<int32_t>{14418139});
    QCOMPARE(state.channelTable[1].color, 14418139);
    QCOMPARE(swatch1->pixmap().toImage().pixelColor(10, 10), QColor(219, 0, 220));

    dialogs.colorToChoose = 0x0000FF;  // pure red
    QTest::mouseClick(swatch1, Qt::LeftButton);
    QCOMPARE(state.channelTable[1].color, 255);
    QImage picture = swatch1->pixmap().toImage();
    QCOMPARE(picture.size(), QSize(20, 20));
    QCOMPARE(picture.pixelColor(0, 0), QColor(255, 0, 0));
    QCOMPARE(picture.pixelColor(19, 19), QColor(255, 0, 0));

    QTest::mouseClick(window.control(132), Qt::LeftButton);  // a colour of -1 opens at black
    QCOMPARE(dialogs.colorsOpenedAt.back(), 0);
  }

  void resetRestoresDefaultsAndHeaderNames() {
    WindowOnLog on(logHeader(10) + "1\nz\n");
    auto& [dir, state, dialogs, window] = on;
    for (int n = 1; n <= 9; ++n) {
      state.channelTable[n].enabled = 0;
      state.channelTable[n].color = 42;
      state.channelTable[n].unit = "stored";
      state.channelTable[n].name = "stored name";
    }
    QVERIFY(window.build());
    static_cast<QLineEdit*>(window.control(123))->setText("typed");
    QTest::mouseClick(window.control(150), Qt::LeftButton);
    for (int n = 1; n <= 8; ++n) {
      QCOMPARE(state.channelTable[n].enabled, 1);
      QVERIFY(static_cast<QCheckBox*>(window.control(100 + n))->isChecked());
      QCOMPARE(static_cast<QLineEdit*>(window.control(110 + n))->text(), QString("C%1").arg(n));
    }
    QCOMPARE(state.channelTable[3].unit, std::string("kPa"));
    QCOMPARE(static_cast<QLineEdit*>(window.control(123))->text(), QString("kPa"));
    QCOMPARE(state.channelTable[3].color, 16711680);
    QCOMPARE(static_cast<QLabel*>(window.control(133))->pixmap().toImage().pixelColor(5, 5),
             QColor(0, 0, 255));
    // Channel 9 has no defaults: it keeps its state, colour and unit, and takes its name.
    QCOMPARE(state.channelTable[9].enabled, 0);
    QCOMPARE(state.channelTable[9].color, 42);
    QCOMPARE(static_cast<QLineEdit*>(window.control(129))->text(), QString("stored"));
    QCOMPARE(state.channelTable[9].name, std::string("C9"));
    QVERIFY(!window.closeRequested());
  }

  void convertWritesTheExportAndRequestsClose() {
    WindowOnLog on(readFile(QUORVEL_TEST_DATA "/three_channels.csv"), "three_channels.csv");
    auto& [dir, state, dialogs, window] = on;
    SettingsFile settings;
    loadChannelSettings(settings, QUORVEL_TEST_DATA "/three_channels.ini", state.channelTable,
                        state.log.fieldCount, false);
    QVERIFY(window.build());
    QSignalSpy progress(window.statusBar().progress(), &QProgressBar::valueChanged);
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    QCOMPARE(readFile(dir.file("three_channels.dif")), readFile(QUORVEL_TEST_DATA "/three_channels.dif"));
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.at(0).at(0).toInt(), 4);
    QVERIFY(!window.closeRequested());  // posted, not yet taken
    QCoreApplication::sendPostedEvents(&window);
    QVERIFY(window.closeRequested());
    QVERIFY(dialogs.errors.empty());
  }

  void convertTakesTypedNamesAndUnits() {
    WindowOnLog on(logHeader(3) + "12:00:00.000,1,2\nz\n");
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    auto* name = static_cast<QLineEdit*>(window.control(112));
    name->clear();
    QTest::keyClicks(name, "Oil - Temp");
    static_cast<QLineEdit*>(window.control(122))->setText(QString::fromUtf8("\xC2\xB0" "C"));
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    QCOMPARE(state.channelTable[2].name, std::string("Oil - Temp"));
    QCOMPARE(state.channelTable[2].label, std::string("Oil__Temp"));
    QCOMPARE(state.channelTable[0].label, std::string("Time"));
    std::string bytes = readFile(dir.file("log.dif"));
    QVERIFY(bytes.find("\"Name:\"\r\n1,0\r\n\"C1\"\r\n1,0\r\n\"Oil__Temp\"\r\n") != std::string::npos);
    QVERIFY(bytes.find("\"Oil__Temp (\xC2\xB0" "C)\"") != std::string::npos);
  }

  void statusBarShowsFileNameAndProgress() {
    std::string log = logHeader(2);
    for (int i = 0; i <= 250; ++i) log += "12:00:00.000,1\n";
    WindowOnLog on(log, "run 3.csv");
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    StatusBar& bar = window.statusBar();
    QCOMPARE(bar.fileName()->text(), QString("run 3.csv"));
    QCOMPARE(bar.fileName()->geometry().x(), 0);
    QCOMPARE(bar.fileName()->width(), 200);
    QCOMPARE(bar.fileName()->alignment(), Qt::AlignCenter);
    QWidget* field1 = bar.progress()->parentWidget();
    QCOMPARE(field1->geometry().x(), 200);
    QCOMPARE(field1->width(), 200);
    QCOMPARE(bar.progress()->geometry().topLeft(), QPoint(2, 3));
    QCOMPARE(bar.progress()->width(), 192);
    QCOMPARE(bar.bar()->geometry().bottom(), 369);
    QVERIFY(bar.bar()->height() >= 18);
    QCOMPARE(bar.progress()->maximum(), 250);
    QCOMPARE(bar.progress()->value(), 0);

    QSignalSpy progress(bar.progress(), &QProgressBar::valueChanged);
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    // The bar takes the export's counts (100, 200, then 250), painted at most every 30 ms
    // but always the last: it ends full.
    QVERIFY(!progress.isEmpty());
    int previous = 0;
    for (const auto& call : progress) {
      const int value = call.at(0).toInt();
      QVERIFY(value == 100 || value == 200 || value == 250);
      QVERIFY(value > previous);
      previous = value;
    }
    QCOMPARE(bar.progress()->value(), 250);
    QCOMPARE(bar.value(), 250);
  }

  // Clicks made while the export runs are queued; none may reach a handler afterwards: the
  // settings saved are those at Convert, and a second Convert never runs.
  void inputQueuedDuringConvertIsNotHandled() {
    std::string log = logHeader(3);
    for (int i = 0; i < 300; ++i) log += "12:00:00.000,1,2\n";
    WindowOnLog on(log + "z\n");
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    bool posted = false;
    connect(window.statusBar().progress(), &QProgressBar::valueChanged, this, [&] {
      if (posted) return;
      posted = true;
      postClick(window.control(101));  // untick channel 1
      postClick(window.control(150));  // Reset
      postClick(window.control(140));  // Convert again
      static_cast<QLineEdit*>(window.control(111))->setFocus();
      QCoreApplication::postEvent(window.control(111),
                                  new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
    });
    state.channelTable[2].color = 42;
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    QVERIFY(posted);
    // A second export would replace the file written by the first.
    FileIdentity first, after;
    QVERIFY(fileIdentity(dir.file("log.dif"), &first, nullptr));
    QCoreApplication::processEvents();
    QVERIFY(window.closeRequested());
    QCOMPARE(state.channelTable[1].enabled, 1);
    QCOMPARE(state.channelTable[2].color, 42);  // no Reset
    QVERIFY(fileIdentity(dir.file("log.dif"), &after, nullptr));
    QVERIFY(first == after);  // one export
    QCOMPARE(static_cast<QLineEdit*>(window.control(111))->text(), QString("C1"));
  }

  // After a failed export the input queued meanwhile is dropped, then the window answers again.
  void inputQueuedDuringAFailedConvertIsDropped() {
    std::string log = logHeader(2);
    for (int i = 0; i < 250; ++i) log += "12:00:00.000,1\n";
    WindowOnLog on(log + "z\n");
    auto& [dir, state, dialogs, window] = on;
    std::filesystem::create_directory(dir.file("log.dif"));  // in the export's way
    QVERIFY(window.build());
    state.channelTable[1].enabled = 1;
    // The export fails before any row: post the click as Convert is pressed.
    connect(static_cast<QPushButton*>(window.control(140)), &QPushButton::pressed, this,
            [&] { postClick(window.control(101)); });
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(dialogs.errors.size(), size_t{1});
    QCOMPARE(state.channelTable[1].enabled, 1);
    QVERIFY(!window.inputClosed());
    QCOMPARE(window.statusBar().progress()->value(), 0);
    QTest::mouseClick(window.control(101), Qt::LeftButton);
    QCOMPARE(state.channelTable[1].enabled, 0);
  }

  // A log without data rows: the bar stays empty, never Qt's animated busy bar (0 to 0); after
  // a failed export it goes back to empty.
  void theBarIsNeverBusy() {
    WindowOnLog on(logHeader(2) + "z\n");
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    QProgressBar* bar = window.statusBar().progress();
    QVERIFY(bar->maximum() > bar->minimum());
    QCOMPARE(bar->value(), bar->minimum());
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    QVERIFY(bar->maximum() > bar->minimum());
    QCOMPARE(bar->value(), 0);
  }

  void textsAreShownFromTheirStart() {
    WindowOnLog on(logHeader(3) + "1\nz\n");
    auto& [dir, state, dialogs, window] = on;
    state.channelTable[1].name = "a rather long channel name that does not fit";
    QVERIFY(window.build());
    for (int id : {111, 121, 112, 122}) {
      QCOMPARE(static_cast<QLineEdit*>(window.control(id))->cursorPosition(), 0);
    }
    QTest::mouseClick(window.control(150), Qt::LeftButton);
    QCOMPARE(static_cast<QLineEdit*>(window.control(121))->text(), QString("Lambda"));
    QCOMPARE(static_cast<QLineEdit*>(window.control(121))->cursorPosition(), 0);
  }

  // Typed or pasted line breaks become spaces: a name is one line in every file.
  void lineBreaksInTypedTextsBecomeSpaces() {
    WindowOnLog on(logHeader(2) + "12:00:00.000,1\nz\n");
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    static_cast<QLineEdit*>(window.control(111))->setText("Oil\nTemp");
    static_cast<QLineEdit*>(window.control(121))->setText(QString::fromUtf8("\xC2\xB0" "C\r\n"));
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    QCOMPARE(state.channelTable[1].name, std::string("Oil Temp"));
    QCOMPARE(state.channelTable[1].unit, std::string("\xC2\xB0" "C  "));
    std::string bytes = readFile(dir.file("log.dif"));
    QVERIFY(bytes.find("\"Oil_Temp (\xC2\xB0" "C  )\"\r\n") != std::string::npos);
  }

  // The whole 20 x 20 box toggles, not only the tick mark; Enter and Return press the focused
  // button as Space does.
  void checkBoxesAndButtonsAnswerAsUsersExpect() {
    WindowOnLog on(logHeader(3) + "12:00:00.000,1,2\nz\n");
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    QWidget* box = window.control(101);
    int expected = 1;
    for (QPoint at : {QPoint(1, 1), QPoint(18, 18), QPoint(18, 2), QPoint(10, 10)}) {
      QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, at);
      expected = 1 - expected;
      QCOMPARE(state.channelTable[1].enabled, expected);
    }
    state.channelTable[2].enabled = 0;
    window.control(150)->setFocus();
    QTest::keyClick(window.control(150), Qt::Key_Return);
    QCOMPARE(state.channelTable[2].enabled, 1);  // Reset ran
    window.control(140)->setFocus();
    QTest::keyClick(window.control(140), Qt::Key_Enter);
    QVERIFY(std::filesystem::exists(dir.file("log.dif")));
  }

  void aLongFileNameLosesItsMiddle() {
    const std::string name = "track day at the ring, second session, wet, " +
                             std::string(40, 'x') + ".csv";
    WindowOnLog on(logHeader(2) + "1\nz\n", name);
    auto& [dir, state, dialogs, window] = on;
    QVERIFY(window.build());
    QLabel* field = window.statusBar().fileName();
    QCOMPARE(field->width(), 200);
    QVERIFY(field->text() != QString::fromStdString(name));
    QVERIFY(field->text().contains(QChar(0x2026)));
    QVERIFY(field->text().startsWith("track"));
    QVERIFY(field->text().endsWith(".csv"));
    QVERIFY(field->fontMetrics().horizontalAdvance(field->text()) <= 200);
    QCOMPARE(field->toolTip(), QString::fromStdString(state.logPath));
  }

  // The chooser's custom colours start black and are kept for the run only: Qt's own settings
  // file is never written.
  void qtKeepsNoDialogStateOfItsOwn() {
    QtUserInterface dialogs;
    for (int i = 1; i < QColorDialog::customCount(); ++i)
      QCOMPARE(QColorDialog::customColor(i), QColor(Qt::black));
    QSettings qtProject(QSettings::UserScope, QStringLiteral("QtProject"));
    QVERIFY(qtProject.fileName().startsWith("/dev/null/"));
    qtProject.setValue("probe", 1);
    qtProject.sync();
    QCOMPARE(qtProject.status(), QSettings::AccessError);
  }

  void failedExportIsShownAndTheWindowStaysOpen() {
    WindowOnLog on(logHeader(2) + "1\nz\n");
    auto& [dir, state, dialogs, window] = on;
    std::filesystem::create_directory(dir.file("log.dif"));  // in the export's way
    QVERIFY(window.build());
    QTest::mouseClick(window.control(140), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(&window);
    QVERIFY(!window.closeRequested());
    QCOMPARE(dialogs.errors.size(), size_t{1});
    QVERIFY(dialogs.errors[0].find(dir.file("log.dif")) != std::string::npos);
    QVERIFY(dialogs.errors[0].find("is a folder") != std::string::npos);
    QVERIFY(window.isVisible());
  }
};

}  // namespace quorvel

QTEST_MAIN(quorvel::SettingsWindowTest)
#include "settings_window_test.moc"
