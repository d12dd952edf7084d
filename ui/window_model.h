// The settings window without any toolkit: which controls it has and where (for a log of a
// given field count), its status bar's fields, and what each user action does to the program
// state. The Qt and the Win32 window create their controls from windowControls() and hand
// every event to a WindowModel; what they must do in return is the WindowView interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "program_state.h"

namespace quorvel {

// The window: its title, and its client area in pixels at 96 DPI.
extern const char kWindowTitle[];
inline constexpr int kClientWidth = 370;
inline constexpr int kClientHeight = 370;

// Control identifiers that are not per channel.
inline constexpr int kInUseHeadingId = 3;
inline constexpr int kNameHeadingId = 1;
inline constexpr int kUnitHeadingId = 2;
inline constexpr int kColorHeadingId = 4;
inline constexpr int kConvertId = 140;
inline constexpr int kResetId = 150;

// Identifiers of row n's controls (n = 1 .. 9).
inline int checkBoxId(int n) { return 100 + n; }
inline int nameFieldId(int n) { return 110 + n; }
inline int unitFieldId(int n) { return 120 + n; }
inline int swatchId(int n) { return 130 + n; }

enum class ControlKind {
  kHeading,   // static text, centred
  kCheckBox,  // two states, no caption
  kEdit,      // one line, sunken border
  kSwatch,    // a 20 x 20 picture that reports left clicks; never takes the focus
  kButton,    // push button
};

struct ControlSpec {
  int id;
  ControlKind kind;
  int x, y, width, height;
  std::string caption;  // headings and buttons; empty for the others
  int channel;          // the row's channel (1 .. 9) for row controls; 0 otherwise
};

// The controls for a log of fieldCount fields, in the order they are created, which is also
// the Tab order (of those that take the focus).
std::vector<ControlSpec> windowControls(int32_t fieldCount);

// Whether controls of that kind take the keyboard focus.
bool takesFocus(ControlKind kind);

// The status bar: two fields of 200 pixels from the left edge (the second runs 30 pixels past
// the window's edge), at least 18 pixels high, no size grip; the progress indicator lies in
// field 1 with these margins.
inline constexpr int kStatusFieldWidth = 200;
inline constexpr int kStatusMinimumHeight = 18;
struct Margins {
  int left, top, right, bottom;
};
inline constexpr Margins kProgressMargins{2, 3, 6, 3};

// What a window does for the model: the toolkit's half of each action.
class WindowView {
 public:
  virtual ~WindowView() = default;
  // The text of edit field id, as typed (UTF-8).
  virtual std::string editText(int id) = 0;
  // Shows channel n's table entry in its row: check box, name, unit (from their start) and a
  // new swatch picture. Raises no events.
  virtual void showChannel(int n, const ChannelSettings& channel) = 0;
  // Shows a new swatch picture of color (0x00BBGGRR) for channel n.
  virtual void showSwatch(int n, int32_t color) = 0;
  // The colour chooser, modal, opened at initial: the chosen colour, or -1 when cancelled.
  virtual int32_t chooseColor(int32_t initial) = 0;
  // Shows the export's progress (rows written).
  virtual void setProgress(int32_t rows) = 0;
  // Tells the user that something failed; the window stays open.
  virtual void showError(const std::string& text) = 0;
  // Shuts the user's input out of the window (closed), or lets it in again after dropping what
  // was queued meanwhile (open).
  virtual void setInputClosed(bool closed) = 0;
  // Posts the close request to the window's own queue.
  virtual void requestClose() = 0;
};

// The event rules, the same in every window.
class WindowModel {
 public:
  WindowModel(ProgramState& state, WindowView& view) : state_(state), view_(view) {}

  // The number of channel rows: channels 1 .. fieldCount - 1, at most nine.
  int channelRows() const;
  // The file name the status bar shows.
  std::string statusFileName() const;
  // The indicator's maximum: the number of data rows (capped to 32 bits).
  int32_t progressMaximum() const;

  // Shows every row from the table (when the window is built).
  void showAll();
  // Check box n was clicked and is now checked or not: enabled becomes 1 or 0.
  void checkBoxClicked(int n, bool checked);
  // Swatch n got a left click: the chooser opens at its colour (black for a negative one);
  // a chosen colour is stored and shown.
  void swatchClicked(int n);
  // "Reset": the defaults, and the header's names, shown again.
  void reset();
  // "Convert": no more input; the typed texts (one line each) into the table, the export, then
  // the close request. A failed export is shown, the progress goes back to 0 and the window
  // takes input again.
  void convert();

  bool inputClosed() const { return inputClosed_; }

 private:
  ProgramState& state_;
  WindowView& view_;
  bool inputClosed_ = false;
};

}  // namespace quorvel
