#include "program_flow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "settings_window.h"
#include "../tests/fake_dialogs.h"
#include "../tests/test_support.h"

using quorvel::testing::FakeDialogs;
using quorvel::testing::readFile;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

namespace quorvel {

class ProgramFlowTest : public QObject {
  Q_OBJECT

 private:
  // Runs the program; once its window is up, act works on it.
  static void runWith(FakeDialogs& dialogs, const std::string& settingsPath,
                      const std::function<void(SettingsWindow&)>& act) {
    QTimer::singleShot(0, [&] {
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<SettingsWindow*>(widget)) act(*window);
    });
    ProgramState state;
    runProgram(state, dialogs, settingsPath);
  }

  static const std::string& log() {
    static const std::string text = "\"Time\",\"AFR\",\"RPM\",\"AFR\"\r\n12:00:00.000,1,2,3\r\nz\r\n";
    return text;
  }

 private slots:
  void cancelledDialogTouchesNothing() {
    TempDir dir;
    FakeDialogs dialogs;
    ProgramState state;
    runProgram(state, dialogs, dir.file("quorvel.ini"));
    QVERIFY(dir.entries().empty());
    QVERIFY(dialogs.errors.empty());
  }

  void unreadableLogIsReported() {
    TempDir dir;
    FakeDialogs dialogs;
    dialogs.logToChoose = dir.file("missing.csv");
    ProgramState state;
    runProgram(state, dialogs, dir.file("quorvel.ini"));
    QCOMPARE(dialogs.errors.size(), size_t{1});
    QVERIFY(dialogs.errors[0].find(dialogs.logToChoose) != std::string::npos);
    QVERIFY(dialogs.errors[0].find("not found") != std::string::npos);
    QVERIFY(dir.entries().empty());  // no settings file read or created
  }

  void plainCloseSavesBoxesAndColoursButNotTypedTexts() {
    TempDir dir;
    writeFile(dir.file("run.csv"), log());
    FakeDialogs dialogs;
    dialogs.logToChoose = dir.file("run.csv");
    dialogs.colorToChoose = 255;
    runWith(dialogs, dir.file("quorvel.ini"), [](SettingsWindow& window) {
      QTest::mouseClick(window.control(102), Qt::LeftButton);
      QTest::mouseClick(window.control(133), Qt::LeftButton);
      static_cast<QLineEdit*>(window.control(113))->setText("typed name");
      window.close();
    });
    QCOMPARE(readFile(dir.file("quorvel.ini")),
             std::string("\xEF\xBB\xBF\r\n"
                         "[Channel1]\r\nEnabled = 1\r\nName = Lambda\r\nUnit = Lambda\r\nColor = 14418139\r\n\r\n"
                         "[Channel2]\r\nEnabled = 0\r\nName = RPM\r\nUnit = RPM\r\nColor = 0\r\n\r\n"
                         "[Channel3]\r\nEnabled = 1\r\nName = AFR\r\nUnit = kPa\r\nColor = 255\r\n"));
    QVERIFY(!std::filesystem::exists(dir.file("run.dif")));
  }

  void convertExportsClosesAndSavesTypedTexts() {
    TempDir dir;
    writeFile(dir.file("run.csv"), log());
    FakeDialogs dialogs;
    dialogs.logToChoose = dir.file("run.csv");
    runWith(dialogs, dir.file("quorvel.ini"), [](SettingsWindow& window) {
      static_cast<QLineEdit*>(window.control(113))->setText("Oil - Temp");
      QTest::mouseClick(window.control(140), Qt::LeftButton);
    });
    std::string settings = readFile(dir.file("quorvel.ini"));
    QVERIFY(settings.find("[Channel3]\r\nEnabled = 1\r\nName = Oil - Temp\r\n") != std::string::npos);
    QVERIFY(readFile(dir.file("run.dif")).find("\"Oil__Temp (kPa)\"") != std::string::npos);

    // The next log loads the same choices by channel position.
    writeFile(dir.file("next.csv"), "\"T\",\"a\",\"b\",\"c\"\nz\n");
    dialogs.logToChoose = dir.file("next.csv");
    QString shownName;
    runWith(dialogs, dir.file("quorvel.ini"), [&](SettingsWindow& window) {
      shownName = static_cast<QLineEdit*>(window.control(113))->text();
      window.close();
    });
    QCOMPARE(shownName, QString("Oil - Temp"));
  }
};

}  // namespace quorvel

QTEST_MAIN(quorvel::ProgramFlowTest)
#include "program_flow_test.moc"
