#include "window_model.h"

#include <algorithm>
#include <limits>

#include "conversion.h"
#include "log_reader.h"
#include "one_line.h"
#include "paths.h"
#include "version.h"

namespace quorvel {

const char kWindowTitle[] = "Quorvel V" QUORVEL_VERSION;

std::vector<ControlSpec> windowControls(int32_t fieldCount) {
  std::vector<ControlSpec> controls = {
      {kInUseHeadingId, ControlKind::kHeading, 10, 10, 50, 20, "In use", 0},
      {kNameHeadingId, ControlKind::kHeading, 70, 10, 150, 20, "Fieldname", 0},
      {kUnitHeadingId, ControlKind::kHeading, 230, 10, 50, 20, "Unit", 0},
      {kColorHeadingId, ControlKind::kHeading, 290, 10, 50, 20, "Color", 0},
  };
  const int rows = lastChannel(fieldCount);
  for (int n = 1; n <= rows; ++n) {
    const int y = 30 * n + 10;
    controls.push_back({checkBoxId(n), ControlKind::kCheckBox, 25, y, 20, 20, "", n});
    controls.push_back({nameFieldId(n), ControlKind::kEdit, 70, y, 150, 20, "", n});
    controls.push_back({unitFieldId(n), ControlKind::kEdit, 230, y, 50, 20, "", n});
    controls.push_back({swatchId(n), ControlKind::kSwatch, 305, y, 20, 20, "", n});
  }
  // The buttons stand 40 pixels below the top of the last row (N = fieldCount), or at 50.
  const int buttonY = 30 * (fieldCount >= 2 ? rows + 1 : 1) + 20;
  controls.push_back({kConvertId, ControlKind::kButton, 70, buttonY, 150, 30, "Convert", 0});
  controls.push_back({kResetId, ControlKind::kButton, 230, buttonY, 50, 30, "Reset", 0});
  return controls;
}

bool takesFocus(ControlKind kind) {
  return kind == ControlKind::kCheckBox || kind == ControlKind::kEdit ||
         kind == ControlKind::kButton;
}

int WindowModel::channelRows() const { return lastChannel(state_.log.fieldCount); }

std::string WindowModel::statusFileName() const { return filePart(state_.logPath); }

int32_t WindowModel::progressMaximum() const {
  return static_cast<int32_t>(
      std::min<size_t>(state_.log.dataRows.size(), std::numeric_limits<int32_t>::max()));
}

void WindowModel::showAll() {
  for (int n = 1; n <= channelRows(); ++n) view_.showChannel(n, state_.channelTable[n]);
}

void WindowModel::checkBoxClicked(int n, bool checked) {
  if (inputClosed_ || n < 1 || n > channelRows()) return;
  state_.channelTable[n].enabled = checked ? 1 : 0;
}

void WindowModel::swatchClicked(int n) {
  if (inputClosed_ || n < 1 || n > channelRows()) return;
  const int32_t current = state_.channelTable[n].color;
  const int32_t chosen = view_.chooseColor(current < 0 ? 0 : current);
  if (chosen < 0) return;
  state_.channelTable[n].color = chosen;
  view_.showSwatch(n, chosen);
}

void WindowModel::reset() {
  if (inputClosed_) return;
  applyChannelDefaults(state_.channelTable);
  for (int n = 1; n <= channelRows(); ++n) {
    state_.channelTable[n].name = headerFieldName(state_.log.headerLine, n + 1);
    view_.showChannel(n, state_.channelTable[n]);
  }
}

void WindowModel::convert() {
  if (inputClosed_) return;
  // Clicks and keys queued while the export runs must not change what is then saved, nor
  // press Convert a second time.
  inputClosed_ = true;
  view_.setInputClosed(true);
  for (int n = 1; n <= channelRows(); ++n) {
    state_.channelTable[n].name = oneLine(view_.editText(nameFieldId(n)));
    state_.channelTable[n].unit = oneLine(view_.editText(unitFieldId(n)));
  }
  std::string err;
  if (exportLog(state_, [this](int32_t rows) { view_.setProgress(rows); }, &err)) {
    // Input stays shut out: the close request ends the loop, whatever else is queued.
    view_.requestClose();
    return;
  }
  // The input queued meanwhile is dropped; then the window takes input again, so the user can
  // fix the cause and convert again, or close it.
  inputClosed_ = false;
  view_.setInputClosed(false);
  view_.setProgress(0);
  view_.showError("The export " + state_.exportPath + " could not be written: " + err);
}

}  // namespace quorvel
