#include "pages/dialog_templates.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "board/board.h"
#include "pages/control_ids.h"

namespace tarnwick::pages {
namespace {

using enum ControlKind;
// The page title a template starts with: the built-in board's (the window shows
// the title of the board in use).
std::string_view TitleOf(std::string_view command) { return board::BuiltIn().FindNamed(command)->title; }
using Rows = std::vector<ControlTemplate>;

void Append(Rows& rows, const Rows& more) { rows.insert(rows.end(), more.begin(), more.end()); }

// The "Frequency ... Hz / Pulse Duty ... %" block in its group box, shared by the
// motor set-up and the D-C parameter panels; (dx, dy) moves it from the set-up
// panel's Left position.
Rows FrequencyDutyBlock(int dx, int dy, int frequencyId, int dutyId, std::string_view title, unsigned editStyle) {
  const auto at = [&](int x, int y, int w, int h) { return DluRect{x + dx, y + dy, w, h}; };
  return {
      {kStaticId, Label, at(15, 75, 39, 8), "Frequency", kAlignRight},
      {kStaticId, Label, at(114, 75, 8, 8), "Hz"},
      {frequencyId, Edit, at(59, 73, 49, 12), {}, editStyle},
      {kStaticId, Label, at(15, 96, 39, 8), "Pulse Duty", kAlignRight},
      {kStaticId, Label, at(114, 96, 8, 8), "%"},
      {dutyId, Edit, at(59, 94, 49, 12), {}, editStyle},
      {kStaticId, GroupBox, at(10, 52, 123, 69), title},
  };
}

// Templates 129 (set-up, editable) and 136 (read back, read-only) share one layout.
Rows MotorSetupRows(bool readBack) {
  const unsigned edit = readBack ? kReadOnly : kStylePlain;
  struct FieldIds {
    int leftFrequency, leftDuty, rightFrequency, rightDuty;
  };
  namespace back = ids::cmd43;
  namespace setup = ids::parameters;
  const FieldIds field = readBack
      ? FieldIds{back::kLeftFrequency, back::kLeftPulseDuty, back::kRightFrequency, back::kRightPulseDuty}
      : FieldIds{setup::kLeftFrequency, setup::kLeftPulseDuty, setup::kRightFrequency, setup::kRightPulseDuty};
  Rows rows;
  if (!readBack) rows.push_back({setup::kMotorType, DropDownList, {55, 36, 65, 78}});
  rows.push_back({kStaticId, Label, readBack ? DluRect{13, 38, 41, 8} : DluRect{9, 38, 41, 8}, "MotorType:", kAlignRight});
  Append(rows, FrequencyDutyBlock(0, 0, field.leftFrequency, field.leftDuty, "Left", edit));
  Append(rows, FrequencyDutyBlock(142, 0, field.rightFrequency, field.rightDuty, "Right", edit));
  if (readBack) {
    rows.push_back({ids::kPageTitle, Label, {17, 17, 117, 9}, TitleOf("CMD43")});
    rows.push_back({back::kMotorType, Edit, {58, 37, 62, 12}, {}, kReadOnly});
  } else {
    rows.push_back({ids::kPageTitle, Label, {15, 17, 187, 9}, TitleOf("CMD42")});
  }
  return rows;
}

// Templates 141 (start by parameters) and 142 (status display) share one layout;
// the display has no "Not-Limit", read-only edits and a disabled "Reverse".
Rows StepperParameterRows(bool display) {
  const unsigned edit = display ? kReadOnly : kStylePlain;
  Rows rows = {
      {kStaticId, Label, {24, 55, 49, 8}, "Step count:", kAlignRight},
      {ids::stepper::kStepCount, Edit, {80, 54, 68, 12}, {}, edit},
      {ids::stepper::kReverse, CheckBox, {80, 39, 40, 10}, "Reverse", display ? kDisabled : kStylePlain},
      display ? ControlTemplate{ids::kPageTitle, Label, {37, 21, 123, 8}, TitleOf("CMD13")}
              : ControlTemplate{ids::kPageTitle, Label, {36, 21, 123, 8}, TitleOf("CMD12")},
  };
  if (!display) rows.push_back({ids::stepper::kNotLimit, CheckBox, {155, 56, 44, 10}, "Not-Limit"});
  Append(rows, {
                   {kStaticId, Label, {36, 74, 39, 8}, "Frequency", kAlignRight},
                   {kStaticId, Label, {135, 74, 8, 8}, "Hz"},
                   {ids::stepper::kFrequency, Edit, {80, 72, 49, 12}, {}, edit},
                   {kStaticId, Label, {36, 91, 39, 8}, "Pulse Duty", kAlignRight},
                   {kStaticId, Label, {135, 92, 8, 8}, "%"},
                   {ids::stepper::kPulseDuty, Edit, {80, 90, 49, 12}, {}, edit},
               });
  return rows;
}

Rows NoParameterRows(std::string_view title, int titleWidth) {
  return {
      {ids::kPageTitle, Label, {21, 21, titleWidth, 8}, title},
      {kStaticId, Label, {23, 50, 119, 8}, "No parameter, just send"},
  };
}

struct TemplateStore {
  Rows main = {
      {ids::window::kSend, PushButton, {163, 217, 40, 14}, "&Send"},
      {ids::window::kExit, PushButton, {327, 217, 50, 14}, "E&xit"},
      {ids::window::kTabStrip, TabStrip, {7, 8, 370, 170}},
      {ids::window::kPortList, DropDownList, {7, 218, 41, 78}},
      {ids::window::kBaudList, DropDownList, {68, 218, 51, 78}},
      {ids::window::kAddress, Edit, {142, 218, 19, 12}},
      {kStaticId, Label, {122, 221, 17, 8}, "Addr:", kAlignRight},
      // Wide enough for the longest result text; the Log button sits in the rest.
      {ids::window::kResult, Label, {233, 221, 62, 8}},
      {ids::window::kReply, CheckBox, {206, 221, 23, 8}, "Res"},
      {kStaticId, Label, {16, 185, 36, 8}, "Send Data:", kAlignRight},
      {ids::window::kSendData, Edit, {55, 184, 310, 12}, {}, kReadOnly},
      {kStaticId, Label, {16, 201, 36, 8}, "Recv Data:", kAlignRight},
      {ids::window::kRecvData, Edit, {55, 200, 310, 12}, {}, kReadOnly},
      {ids::window::kRescan, PushButton, {49, 217, 17, 14}, "..."},
      {ids::window::kLog, PushButton, {297, 217, 26, 14}, "Log"},
      {ids::window::kNotice, Label, {7, 235, 370, 17}},  // two lines: a network reason is long
  };
  Rows cmd00 = NoParameterRows(TitleOf("CMD00"), 63);
  Rows cmd38 = NoParameterRows(TitleOf("CMD38"), 159);
  Rows cmd3F = NoParameterRows(TitleOf("CMD3F"), 96);
  Rows cmd11 = {
      {kStaticId, Label, {24, 72, 49, 8}, "Step count:", kAlignRight},
      {ids::stepper::kStepCount, Edit, {80, 71, 68, 12}},
      {ids::stepper::kReverse, CheckBox, {80, 53, 40, 10}, "Reverse"},
      {ids::kPageTitle, Label, {34, 21, 123, 8}, TitleOf("CMD11")},
      {ids::stepper::kNotLimit, CheckBox, {156, 73, 44, 10}, "Not-Limit"},
  };
  Rows cmd12 = StepperParameterRows(false);
  Rows cmd13 = StepperParameterRows(true);
  Rows cmd21 = {
      {kStaticId, Label, {24, 73, 24, 8}, "Duty:", kAlignRight},
      {ids::cmd21::kLeftDuty, Edit, {53, 71, 40, 12}},
      {ids::cmd21::kLeftReverse, CheckBox, {54, 53, 40, 10}, "Reverse"},
      {kStaticId, Label, {98, 73, 8, 8}, "%"},
      {kStaticId, GroupBox, {19, 42, 100, 55}, "Left"},
      {kStaticId, Label, {151, 73, 24, 8}, "Duty:", kAlignRight},
      {ids::cmd21::kRightDuty, Edit, {181, 71, 40, 12}},
      {ids::cmd21::kRightReverse, CheckBox, {181, 53, 40, 10}, "Reverse"},
      {kStaticId, Label, {225, 73, 8, 8}, "%"},
      {kStaticId, GroupBox, {147, 42, 100, 55}, "Right"},
      {ids::kPageTitle, Label, {21, 21, 145, 8}, TitleOf("CMD21")},
  };
  Rows cmd22 = {
      {ids::kPageTitle, Label, {35, 17, 115, 8}, TitleOf("CMD22")},
      {kStaticId, GroupBox, {33, 33, 71, 76}, "Left", kStartsGroup},
      {ids::cmd22::kLeftForward, RadioButton, {48, 50, 43, 10}, "Forward"},
      {ids::cmd22::kLeftReversal, RadioButton, {48, 65, 44, 10}, "Reversal"},
      {ids::cmd22::kLeftStop, RadioButton, {48, 80, 31, 10}, "Stop"},
      {ids::cmd22::kLeftShortBrake, RadioButton, {48, 94, 51, 10}, "ShortBrake"},
      {kStaticId, GroupBox, {130, 33, 71, 76}, "Right", kStartsGroup},
      {ids::cmd22::kRightForward, RadioButton, {146, 50, 43, 10}, "Forward"},
      {ids::cmd22::kRightReversal, RadioButton, {146, 65, 44, 10}, "Reversal"},
      {ids::cmd22::kRightStop, RadioButton, {146, 80, 31, 10}, "Stop"},
      {ids::cmd22::kRightShortBrake, RadioButton, {146, 94, 51, 10}, "ShortBrake"},
  };
  Rows cmd23 = [] {
    namespace id = ids::parameters;
    Rows rows = FrequencyDutyBlock(1, -6, id::kLeftFrequency, id::kLeftPulseDuty, "Left", kStylePlain);
    Append(rows, FrequencyDutyBlock(143, -6, id::kRightFrequency, id::kRightPulseDuty, "Right", kStylePlain));
    rows.push_back({ids::kPageTitle, Label, {17, 24, 224, 10}, TitleOf("CMD23")});
    return rows;
  }();
  Rows cmd24 = {
      {kStaticId, Label, {28, 58, 18, 8}, "Left", kAlignRight},
      {ids::cmd24::kLeft, Edit, {54, 56, 49, 12}, {}, kReadOnly},
      {ids::kPageTitle, Label, {21, 24, 94, 10}, TitleOf("CMD24")},
      {kStaticId, Label, {122, 58, 18, 8}, "Right", kAlignRight},
      {ids::cmd24::kRight, Edit, {148, 56, 49, 12}, {}, kReadOnly},
  };
  Rows cmd40 = {
      {kStaticId, Label, {16, 56, 51, 8}, "New Address:", kAlignRight},
      {ids::cmd40::kNewAddress, Edit, {72, 54, 29, 12}},
      {ids::kPageTitle, Label, {19, 24, 155, 10}, TitleOf("CMD40")},
  };
  Rows cmd41 = {
      {kStaticId, Label, {17, 56, 36, 8}, "Baudrate:", kAlignRight},
      {ids::kPageTitle, Label, {19, 24, 155, 10}, TitleOf("CMD41")},
      {ids::cmd41::kBaudrate, DropDownList, {57, 54, 52, 84}},
  };
  Rows cmd42 = MotorSetupRows(false);
  Rows cmd43 = MotorSetupRows(true);
  Rows stepperTest = {
      {kStaticId, Label, {16, 7, 67, 8}, "Stepper Motor Test"},
      {kStaticId, Label, {12, 39, 18, 8}, "Freq:", kAlignRight},
      {kStaticId, Label, {89, 40, 9, 8}, "Hz"},
      {ids::stepper_test::kFrequency, Edit, {34, 38, 51, 12}},
      {ids::stepper_test::kFrequencySlider, Trackbar, {8, 54, 324, 18}, {}, kAutoTicks},
      {kStaticId, Label, {15, 76, 8, 8}, "0"},
      {kStaticId, Label, {311, 76, 21, 8}, "10KHz"},
      {kStaticId, Label, {12, 88, 18, 8}, "Duty:", kAlignRight},
      {kStaticId, Label, {89, 89, 9, 8}, "%"},
      {ids::stepper_test::kDuty, Edit, {34, 87, 51, 12}},
      {ids::stepper_test::kDutySlider, Trackbar, {8, 103, 324, 18}, {}, kAutoTicks},
      {kStaticId, Label, {15, 125, 8, 8}, "0"},
      {kStaticId, Label, {317, 125, 11, 8}, "100"},
      {ids::stepper_test::kBeginStop, PushButton, {276, 19, 53, 15}, "Begin"},
      {ids::stepper_test::kReverse, CheckBox, {188, 40, 39, 8}, "Reverse"},
  };
  Rows dcTest = {
      {kStaticId, GroupBox, {9, 0, 159, 148}, "Left"},
      {ids::dc_test::kLeftReverse, CheckBox, {40, 8, 39, 8}, "Reverse"},
      {kStaticId, Label, {17, 21, 18, 8}, "Freq:", kAlignRight},
      {ids::dc_test::kLeftFrequency, Edit, {40, 20, 51, 12}},
      {kStaticId, Label, {17, 131, 18, 8}, "Duty:", kAlignRight},
      {ids::dc_test::kLeftDuty, Edit, {39, 130, 33, 12}},
      {kStaticId, Label, {77, 132, 9, 8}, "%"},
      {ids::dc_test::kLeftDutySlider, Trackbar, {39, 35, 22, 90}, {}, kVertical | kAutoTicks},
      {kStaticId, Label, {75, 39, 11, 8}, "100"},
      {kStaticId, Label, {95, 22, 9, 8}, "Hz"},
      {ids::dc_test::kLeftFrequencySlider, Trackbar, {108, 17, 31, 130}, {}, kVertical | kAutoTicks},
      {kStaticId, Label, {139, 22, 21, 8}, "80KHz"},
      {kStaticId, Label, {139, 136, 8, 8}, "0"},
      {kStaticId, Label, {176, 4, 49, 8}, "D-C Motor Test"},
      {ids::dc_test::kBeginStop, PushButton, {175, 16, 53, 15}, "Begin"},
      {kStaticId, GroupBox, {234, 1, 159, 147}, "Right"},
      {ids::dc_test::kRightReverse, CheckBox, {266, 9, 39, 8}, "Reverse"},
      {kStaticId, Label, {242, 22, 18, 8}, "Freq:", kAlignRight},
      {ids::dc_test::kRightFrequency, Edit, {266, 21, 51, 12}},
      {ids::dc_test::kRightDutySlider, Trackbar, {266, 35, 22, 90}, {}, kVertical | kAutoTicks},
      {kStaticId, Label, {300, 39, 11, 8}, "100"},
      {kStaticId, Label, {242, 133, 18, 8}, "Duty:", kAlignRight},
      {ids::dc_test::kRightDuty, Edit, {264, 131, 33, 12}},
      {kStaticId, Label, {302, 133, 9, 8}, "%"},
      {kStaticId, Label, {300, 113, 8, 8}, "0"},
      {kStaticId, Label, {320, 22, 9, 8}, "Hz"},
      {ids::dc_test::kRightFrequencySlider, Trackbar, {334, 17, 31, 130}, {}, kVertical | kAutoTicks},
      {kStaticId, Label, {367, 22, 21, 8}, "80KHz"},
      {kStaticId, Label, {367, 136, 8, 8}, "0"},
      {kStaticId, Label, {75, 113, 8, 8}, "0"},
  };

  std::vector<DialogTemplate> templates = {
      {kMainDialogTemplate, 384, 256, 9, false, kMainCaption, main},
      {kCmd42Template, 288, 147, 8, true, {}, cmd42},
      {kCmd21Template, 277, 130, 8, false, {}, cmd21},
      {kCmd22Template, 277, 124, 8, false, {}, cmd22},
      {kCmd23Template, 288, 138, 8, true, {}, cmd23},
      {kCmd00Template, 277, 130, 8, false, {}, cmd00},
      {kCmd40Template, 288, 138, 8, true, {}, cmd40},
      {kCmd41Template, 288, 138, 8, true, {}, cmd41},
      {kCmd43Template, 288, 147, 8, true, {}, cmd43},
      {kCmd24Template, 288, 138, 8, true, {}, cmd24},
      {kCmd3FTemplate, 277, 130, 8, false, {}, cmd3F},
      {kCmd38Template, 277, 130, 8, false, {}, cmd38},
      {kCmd11Template, 277, 130, 8, false, {}, cmd11},
      {kCmd12Template, 277, 130, 8, false, {}, cmd12},
      {kCmd13Template, 277, 130, 8, false, {}, cmd13},
      {kStepperTestTemplate, 347, 151, 8, false, {}, stepperTest},
      {kDcTestTemplate, 408, 157, 8, false, {}, dcTest},
  };
  std::vector<const DialogTemplate*> pointers = [this] {
    std::vector<const DialogTemplate*> all;
    for (const DialogTemplate& t : templates) all.push_back(&t);
    return all;
  }();
};

const TemplateStore& Store() {
  static const TemplateStore store;
  return store;
}

// Tops closer than this, in dialog units, share a row: an edit sits a unit or two
// above the check box or label beside it.
constexpr int kRowTolerance = 6;

bool TakesFocus(const ControlTemplate& row) { return row.kind != Label && row.kind != GroupBox; }

bool Contains(const DluRect& box, const DluRect& inner) {
  return inner.x >= box.x && inner.y >= box.y && inner.x < box.x + box.width && inner.y < box.y + box.height;
}

// Sorts positions by their rectangles' reading order.
void SortByRows(std::vector<std::size_t>& positions, std::span<const ControlTemplate> rows) {
  std::ranges::sort(positions, {}, [&](std::size_t i) { return rows[i].rect.y; });
  for (auto rowStart = positions.begin(); rowStart != positions.end();) {
    const int top = rows[*rowStart].rect.y;
    const auto rowEnd = std::find_if(rowStart, positions.end(),
                                     [&](std::size_t i) { return rows[i].rect.y > top + kRowTolerance; });
    std::stable_sort(rowStart, rowEnd, [&](std::size_t a, std::size_t b) { return rows[a].rect.x < rows[b].rect.x; });
    rowStart = rowEnd;
  }
}

}  // namespace

std::vector<std::size_t> LayoutTabOrder(const DialogTemplate& dialog) {
  const std::span<const ControlTemplate> rows = dialog.controls;
  // Each focusable control is a unit of its own or a member of the group box it starts in.
  std::vector<std::size_t> units;
  std::vector<std::vector<std::size_t>> members(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!TakesFocus(rows[i])) continue;
    std::optional<std::size_t> box;
    for (std::size_t g = 0; g < rows.size(); ++g)
      if (rows[g].kind == GroupBox && Contains(rows[g].rect, rows[i].rect)) box = g;
    if (box) {
      if (members[*box].empty()) units.push_back(*box);
      members[*box].push_back(i);
    } else {
      units.push_back(i);
    }
  }
  SortByRows(units, rows);
  std::vector<std::size_t> order;
  for (std::size_t unit : units) {
    if (members[unit].empty()) {
      order.push_back(unit);
      continue;
    }
    SortByRows(members[unit], rows);
    order.insert(order.end(), members[unit].begin(), members[unit].end());
  }
  return order;
}

const DialogTemplate& FindDialogTemplate(int id) {
  for (const DialogTemplate* t : Store().pointers)
    if (t->id == id) return *t;
  throw std::out_of_range("no dialog template " + std::to_string(id));
}

std::span<const DialogTemplate* const> AllDialogTemplates() { return Store().pointers; }

}  // namespace tarnwick::pages
