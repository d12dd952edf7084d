// The settings window's rules without any toolkit: its control table and what each action
// does, through a view that records what it is asked to do.
#include "window_model.h"

#include <gtest/gtest.h>

#include <map>

#include "channel_settings.h"
#include "conversion.h"
#include "../tests/test_support.h"

namespace quorvel {
namespace {

using quorvel::testing::logHeader;
using quorvel::testing::readFile;
using quorvel::testing::TempDir;
using quorvel::testing::writeFile;

// A view that keeps the texts of its edit fields and records every request.
class RecordingView : public WindowView {
 public:
  std::map<int, std::string> texts;  // edit fields by identifier
  std::map<int, int32_t> swatches;   // the colour each swatch shows
  std::map<int, bool> boxes;         // whether each check box is shown checked
  int32_t colorToChoose = -1;
  std::vector<int32_t> choosersOpenedAt;
  std::vector<int32_t> progress;
  std::vector<std::string> errors;
  std::vector<bool> inputClosedCalls;
  int closeRequests = 0;

  std::string editText(int id) override { return texts[id]; }
  void showChannel(int n, const ChannelSettings& channel) override {
    boxes[n] = channel.enabled != 0;
    texts[nameFieldId(n)] = channel.name;
    texts[unitFieldId(n)] = channel.unit;
    swatches[n] = channel.color;
  }
  void showSwatch(int n, int32_t color) override { swatches[n] = color; }
  int32_t chooseColor(int32_t initial) override {
    choosersOpenedAt.push_back(initial);
    return colorToChoose;
  }
  void setProgress(int32_t rows) override { progress.push_back(rows); }
  void showError(const std::string& text) override { errors.push_back(text); }
  void setInputClosed(bool closed) override { inputClosedCalls.push_back(closed); }
  void requestClose() override { ++closeRequests; }
};

// A state read from a log in a fresh folder, with the built-in defaults.
struct ModelOnLog {
  explicit ModelOnLog(const std::string& text, const std::string& name = "log.csv")
      : model(state, view) {
    applyChannelDefaults(state.channelTable);
    state.logPath = dir.file(name);
    writeFile(state.logPath, text);
    std::string err;
    EXPECT_TRUE(readLogFile(state, &err)) << err;
    model.showAll();
  }
  TempDir dir;
  ProgramState state;
  RecordingView view;
  WindowModel model;
};

TEST(WindowControls, TableForEachShapeOfLog) {
  const struct {
    int32_t fieldCount;
    int rows;
    int buttonY;
  } cases[] = {{0, 0, 50}, {1, 0, 50}, {4, 3, 140}, {10, 9, 320}, {12, 9, 320}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fieldCount);
    std::vector<ControlSpec> controls = windowControls(c.fieldCount);
    ASSERT_EQ(controls.size(), 4u + 4u * c.rows + 2u);
    const ControlSpec headings[] = {{3, ControlKind::kHeading, 10, 10, 50, 20, "In use", 0},
                                    {1, ControlKind::kHeading, 70, 10, 150, 20, "Fieldname", 0},
                                    {2, ControlKind::kHeading, 230, 10, 50, 20, "Unit", 0},
                                    {4, ControlKind::kHeading, 290, 10, 50, 20, "Color", 0}};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(controls[i].id, headings[i].id);
      EXPECT_EQ(controls[i].caption, headings[i].caption);
      EXPECT_EQ(std::tie(controls[i].x, controls[i].y, controls[i].width, controls[i].height),
                std::tie(headings[i].x, headings[i].y, headings[i].width, headings[i].height));
    }
    for (int n = 1; n <= c.rows; ++n) {
      const int y = 30 * n + 10;
      const ControlSpec* row = &controls[4 + 4 * (n - 1)];
      const ControlSpec expected[] = {{100 + n, ControlKind::kCheckBox, 25, y, 20, 20, "", n},
                                      {110 + n, ControlKind::kEdit, 70, y, 150, 20, "", n},
                                      {120 + n, ControlKind::kEdit, 230, y, 50, 20, "", n},
                                      {130 + n, ControlKind::kSwatch, 305, y, 20, 20, "", n}};
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(row[i].id, expected[i].id);
        EXPECT_EQ(row[i].kind, expected[i].kind);
        EXPECT_EQ(row[i].channel, n);
        EXPECT_EQ(std::tie(row[i].x, row[i].y, row[i].width, row[i].height),
                  std::tie(expected[i].x, expected[i].y, expected[i].width, expected[i].height));
      }
    }
    const ControlSpec& convert = controls[controls.size() - 2];
    const ControlSpec& reset = controls.back();
    EXPECT_EQ(std::tie(convert.id, convert.caption), std::make_tuple(140, std::string("Convert")));
    EXPECT_EQ(std::tie(convert.x, convert.y, convert.width, convert.height),
              std::make_tuple(70, c.buttonY, 150, 30));
    EXPECT_EQ(std::tie(reset.id, reset.caption), std::make_tuple(150, std::string("Reset")));
    EXPECT_EQ(std::tie(reset.x, reset.y, reset.width, reset.height),
              std::make_tuple(230, c.buttonY, 50, 30));
    for (const ControlSpec& control : controls) {
      EXPECT_LE(control.x + control.width, kClientWidth);
      EXPECT_LE(control.y + control.height, kClientHeight - kStatusMinimumHeight);
    }
  }
}

TEST(WindowControls, FocusFollowsCreationOrderPastHeadingsAndSwatches) {
  std::vector<int> order;
  for (const ControlSpec& control : windowControls(3))
    if (takesFocus(control.kind)) order.push_back(control.id);
  EXPECT_EQ(order, (std::vector<int>{101, 111, 121, 102, 112, 122, 140, 150}));
}

TEST(WindowModel, CheckBoxesAndSwatchesChangeTheTableAtOnce) {
  ModelOnLog on(logHeader(3) + "1\nz\n");
  on.state.channelTable[2].color = -1;
  on.model.checkBoxClicked(1, false);
  EXPECT_EQ(on.state.channelTable[1].enabled, 0);
  on.model.checkBoxClicked(1, true);
  EXPECT_EQ(on.state.channelTable[1].enabled, 1);

  on.model.swatchClicked(1);  // cancelled
  EXPECT_EQ(on.view.choosersOpenedAt, std::vector<int32_t>{14418139});
  EXPECT_EQ(on.state.channelTable[1].color, 14418139);
  on.view.colorToChoose = 255;
  on.model.swatchClicked(1);
  EXPECT_EQ(on.state.channelTable[1].color, 255);
  EXPECT_EQ(on.view.swatches[1], 255);
  on.model.swatchClicked(2);  // a colour of -1 opens the chooser at black
  EXPECT_EQ(on.view.choosersOpenedAt.back(), 0);
  on.model.swatchClicked(9);  // no such row: nothing
  EXPECT_EQ(on.view.choosersOpenedAt.size(), 3u);
}

TEST(WindowModel, ResetGivesDefaultsAndHeaderNamesBack) {
  ModelOnLog on(logHeader(10) + "1\nz\n");
  for (int n = 1; n <= 9; ++n) {
    on.state.channelTable[n] = {0, 42, "stored name", "", "stored", "", ""};
    on.view.showChannel(n, on.state.channelTable[n]);
  }
  on.view.texts[nameFieldId(3)] = "typed";
  on.model.reset();
  for (int n = 1; n <= 8; ++n) {
    EXPECT_EQ(on.state.channelTable[n].enabled, 1);
    EXPECT_TRUE(on.view.boxes[n]);
    EXPECT_EQ(on.view.texts[nameFieldId(n)], "C" + std::to_string(n));
  }
  EXPECT_EQ(on.state.channelTable[3].unit, "kPa");
  EXPECT_EQ(on.view.swatches[3], 16711680);
  // Channel 9 has no defaults: it keeps its state, colour and unit, and takes its name.
  EXPECT_EQ(on.state.channelTable[9].enabled, 0);
  EXPECT_EQ(on.state.channelTable[9].color, 42);
  EXPECT_EQ(on.view.texts[unitFieldId(9)], "stored");
  EXPECT_EQ(on.state.channelTable[9].name, "C9");
  EXPECT_EQ(on.view.closeRequests, 0);
}

TEST(WindowModel, ConvertTakesTheTextsExportsAndAsksToClose) {
  ModelOnLog on(readFile(QUORVEL_TEST_DATA "/three_channels.csv"), "three_channels.csv");
  SettingsFile settings;
  loadChannelSettings(settings, QUORVEL_TEST_DATA "/three_channels.ini", on.state.channelTable,
                      on.state.log.fieldCount, false);
  on.model.showAll();  // the window shows the loaded choices; Convert takes them unedited
  on.model.convert();
  EXPECT_EQ(on.view.closeRequests, 1);
  EXPECT_TRUE(on.model.inputClosed());
  EXPECT_EQ(on.view.inputClosedCalls, std::vector<bool>{true});
  EXPECT_TRUE(on.view.errors.empty());
  EXPECT_EQ(on.view.progress.back(), 4);
  EXPECT_EQ(readFile(on.dir.file("three_channels.dif")),
            readFile(QUORVEL_TEST_DATA "/three_channels.dif"));
  // From Convert on, no action changes anything: a second Convert writes nothing.
  on.model.checkBoxClicked(1, false);
  on.model.reset();
  on.model.convert();
  EXPECT_EQ(on.state.channelTable[1].enabled, 1);
  EXPECT_EQ(on.view.closeRequests, 1);
}

TEST(WindowModel, TypedTextsAreOneLineAndLabelsAreDerived) {
  ModelOnLog on(logHeader(3) + "12:00:00.000,1,2\nz\n");
  on.view.texts[nameFieldId(2)] = "Oil - Temp\r\n";
  on.view.texts[unitFieldId(2)] = "deg\nC";
  on.model.convert();
  EXPECT_EQ(on.state.channelTable[2].name, "Oil - Temp  ");
  EXPECT_EQ(on.state.channelTable[2].unit, "deg C");
  EXPECT_EQ(on.state.channelTable[2].label, "Oil__Temp__");
  EXPECT_EQ(on.state.channelTable[0].label, "Time");
}

TEST(WindowModel, AFailedExportIsShownAndTheWindowTakesInputAgain) {
  ModelOnLog on(logHeader(2) + "1\n2\nz\n");
  std::filesystem::create_directory(on.dir.file("log.dif"));  // in the export's way
  on.model.convert();
  EXPECT_EQ(on.view.closeRequests, 0);
  ASSERT_EQ(on.view.errors.size(), 1u);
  EXPECT_EQ(on.view.errors[0].rfind("The export " + on.dir.file("log.dif") +
                                    " could not be written: ", 0),
            0u)
      << on.view.errors[0];
  EXPECT_EQ(on.view.inputClosedCalls, (std::vector<bool>{true, false}));
  EXPECT_EQ(on.view.progress.back(), 0);
  EXPECT_FALSE(on.model.inputClosed());
  on.model.checkBoxClicked(1, false);
  EXPECT_EQ(on.state.channelTable[1].enabled, 0);
}

TEST(WindowModel, StatusBarShowsTheFileNameAndCountsTheRows) {
  std::string log = logHeader(2);
  for (int i = 0; i <= 250; ++i) log += "12:00:00.000,1\n";
  ModelOnLog on(log, "run 3.csv");
  EXPECT_EQ(on.model.statusFileName(), "run 3.csv");
  EXPECT_EQ(on.model.progressMaximum(), 250);
  EXPECT_EQ(std::string(kWindowTitle), "Quorvel V0.65");
}

}  // namespace
}  // namespace quorvel
