#include "res/dialog_templates.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace tarnwick::res {
namespace {

using enum ControlKind;
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
  const int firstId = readBack ? 1013 : 1005;  // Left frequency, Left duty, Right frequency, Right duty
  Rows rows;
  if (!readBack) rows.push_back({1004, DropDownList, {55, 36, 65, 78}});
  rows.push_back({kStaticId, Label, readBack ? DluRect{13, 38, 41, 8} : DluRect{9, 38, 41, 8}, "MotorType:", kAlignRight});
  Append(rows, FrequencyDutyBlock(0, 0, firstId, firstId + 1, "Left", edit));
  Append(rows, FrequencyDutyBlock(142, 0, firstId + 2, firstId + 3, "Right", edit));
  if (readBack) {
    rows.push_back({kStaticId, Label, {17, 17, 117, 9}, "Read Setup Data From Device"});
    rows.push_back({1009, Edit, {58, 37, 62, 12}, {}, kReadOnly});
  } else {
    rows.push_back({kStaticId, Label, {15, 17, 187, 9}, "Setup Motor type and default running parameters"});
  }
  return rows;
}

// Templates 141 (start by parameters) and 142 (status display) share one layout;
// the display has no "Not-Limit", read-only edits and a disabled "Reverse".
Rows StepperParameterRows(bool display) {
  const unsigned edit = display ? kReadOnly : kStylePlain;
  Rows rows = {
      {kStaticId, Label, {24, 55, 49, 8}, "Step count:", kAlignRight},
      {1018, Edit, {80, 54, 68, 12}, {}, edit},
      {1019, CheckBox, {80, 39, 40, 10}, "Reverse", display ? kDisabled : kStylePlain},
      display ? ControlTemplate{kStaticId, Label, {37, 21, 123, 8}, "Read Step motor status"}
              : ControlTemplate{kStaticId, Label, {36, 21, 123, 8}, "Start Stepper Motor by parameters"},
  };
  if (!display) rows.push_back({1020, CheckBox, {155, 56, 44, 10}, "Not-Limit"});
  Append(rows, {
                   {kStaticId, Label, {36, 74, 39, 8}, "Frequency", kAlignRight},
                   {kStaticId, Label, {135, 74, 8, 8}, "Hz"},
                   {1021, Edit, {80, 72, 49, 12}, {}, edit},
                   {kStaticId, Label, {36, 91, 39, 8}, "Pulse Duty", kAlignRight},
                   {kStaticId, Label, {135, 92, 8, 8}, "%"},
                   {1022, Edit, {80, 90, 49, 12}, {}, edit},
               });
  return rows;
}

Rows NoParameterRows(std::string_view title, int titleWidth) {
  return {
      {kStaticId, Label, {21, 21, titleWidth, 8}, title},
      {kStaticId, Label, {23, 50, 119, 8}, "No parameter, just send"},
  };
}

struct TemplateStore {
  Rows main = {
      {1, PushButton, {163, 217, 40, 14}, "Send"},
      {2, PushButton, {327, 217, 50, 14}, "Exit"},
      {1000, TabStrip, {7, 8, 370, 170}},
      {1001, DropDownList, {7, 218, 41, 78}},
      {1002, DropDownList, {68, 218, 51, 78}},
      {1003, Edit, {142, 218, 19, 12}},
      {kStaticId, Label, {122, 221, 17, 8}, "Addr:", kAlignRight},
      {1007, Label, {233, 221, 86, 8}},
      {1006, CheckBox, {206, 221, 23, 8}, "Res"},
      {kStaticId, Label, {16, 185, 36, 8}, "Send Data:", kAlignRight},
      {1004, Edit, {55, 184, 310, 12}, {}, kReadOnly},
      {kStaticId, Label, {16, 201, 36, 8}, "Recv Data:", kAlignRight},
      {1005, Edit, {55, 200, 310, 12}, {}, kReadOnly},
      {3, PushButton, {49, 217, 17, 14}, "..."},
  };
  Rows cmd00 = NoParameterRows("Get device Address", 63);
  Rows cmd38 = NoParameterRows("Reset all parameters to default(D-C or Stepper)", 159);
  Rows cmd3F = NoParameterRows("Stop motor(D-C or Stepper)", 96);
  Rows cmd11 = {
      {kStaticId, Label, {24, 72, 49, 8}, "Step count:", kAlignRight},
      {1018, Edit, {80, 71, 68, 12}},
      {1019, CheckBox, {80, 53, 40, 10}, "Reverse"},
      {kStaticId, Label, {34, 21, 123, 8}, "Stepper Motor start by count"},
      {1020, CheckBox, {156, 73, 44, 10}, "Not-Limit"},
  };
  Rows cmd12 = StepperParameterRows(false);
  Rows cmd13 = StepperParameterRows(true);
  Rows cmd21 = {
      {kStaticId, Label, {24, 73, 24, 8}, "Duty:", kAlignRight},
      {1006, Edit, {53, 71, 40, 12}},
      {1009, CheckBox, {54, 53, 40, 10}, "Reverse"},
      {kStaticId, Label, {98, 73, 8, 8}, "%"},
      {kStaticId, GroupBox, {19, 42, 100, 55}, "Left"},
      {kStaticId, Label, {151, 73, 24, 8}, "Duty:", kAlignRight},
      {1008, Edit, {181, 71, 40, 12}},
      {1010, CheckBox, {181, 53, 40, 10}, "Reverse"},
      {kStaticId, Label, {225, 73, 8, 8}, "%"},
      {kStaticId, GroupBox, {147, 42, 100, 55}, "Right"},
      {kStaticId, Label, {21, 21, 145, 8}, "D-C Motor start according special PWM value"},
  };
  Rows cmd22 = {
      {kStaticId, Label, {35, 17, 115, 8}, "D-C Motor fast-starging"},
      {kStaticId, GroupBox, {33, 33, 71, 76}, "Left", kStartsGroup},
      {1010, RadioButton, {48, 50, 43, 10}, "Forward"},
      {1011, RadioButton, {48, 65, 44, 10}, "Reversal"},
      {1012, RadioButton, {48, 80, 31, 10}, "Stop"},
      {1016, RadioButton, {48, 94, 51, 10}, "ShortBrake"},
      {kStaticId, GroupBox, {130, 33, 71, 76}, "Right", kStartsGroup},
      {1013, RadioButton, {146, 50, 43, 10}, "Forward"},
      {1014, RadioButton, {146, 65, 44, 10}, "Reversal"},
      {1015, RadioButton, {146, 80, 31, 10}, "Stop"},
      {1017, RadioButton, {146, 94, 51, 10}, "ShortBrake"},
  };
  Rows cmd23 = [] {
    Rows rows = FrequencyDutyBlock(1, -6, 1005, 1006, "Left", kStylePlain);
    Append(rows, FrequencyDutyBlock(143, -6, 1007, 1008, "Right", kStylePlain));
    rows.push_back({kStaticId, Label, {17, 24, 224, 10}, "Give DC-motor special runing parameters for next-starting"});
    return rows;
  }();
  Rows cmd24 = {
      {kStaticId, Label, {28, 58, 18, 8}, "Left", kAlignRight},
      {1017, Edit, {54, 56, 49, 12}, {}, kReadOnly},
      {kStaticId, Label, {21, 24, 94, 10}, "Get DC-motor status"},
      {kStaticId, Label, {122, 58, 18, 8}, "Right", kAlignRight},
      {1018, Edit, {148, 56, 49, 12}, {}, kReadOnly},
  };
  Rows cmd40 = {
      {kStaticId, Label, {16, 56, 51, 8}, "New Address:", kAlignRight},
      {1011, Edit, {72, 54, 29, 12}},
      {kStaticId, Label, {19, 24, 155, 10}, "Change Address of device"},
  };
  Rows cmd41 = {
      {kStaticId, Label, {17, 56, 36, 8}, "Baudrate:", kAlignRight},
      {kStaticId, Label, {19, 24, 155, 10}, "Change RS485 Baudrate"},
      {1002, DropDownList, {57, 54, 52, 84}},
  };
  Rows cmd42 = MotorSetupRows(false);
  Rows cmd43 = MotorSetupRows(true);
  Rows stepperTest = {
      {kStaticId, Label, {16, 7, 67, 8}, "Stepper Motor Test"},
      {kStaticId, Label, {12, 39, 18, 8}, "Freq:", kAlignRight},
      {kStaticId, Label, {89, 40, 9, 8}, "Hz"},
      {1024, Edit, {34, 38, 51, 12}},
      {1025, Trackbar, {8, 54, 324, 18}, {}, kAutoTicks},
      {kStaticId, Label, {15, 76, 8, 8}, "0"},
      {kStaticId, Label, {311, 76, 21, 8}, "10KHz"},
      {kStaticId, Label, {12, 88, 18, 8}, "Duty:", kAlignRight},
      {kStaticId, Label, {89, 89, 9, 8}, "%"},
      {1026, Edit, {34, 87, 51, 12}},
      {1027, Trackbar, {8, 103, 324, 18}, {}, kAutoTicks},
      {kStaticId, Label, {15, 125, 8, 8}, "0"},
      {kStaticId, Label, {317, 125, 11, 8}, "100"},
      {1028, PushButton, {276, 19, 53, 15}, "Begin"},
      {1019, CheckBox, {188, 40, 39, 8}, "Reverse"},
  };
  Rows dcTest = {
      {kStaticId, GroupBox, {9, 0, 159, 148}, "Left"},
      {1009, CheckBox, {40, 8, 39, 8}, "Reverse"},
      {kStaticId, Label, {17, 21, 18, 8}, "Freq:", kAlignRight},
      {1030, Edit, {40, 20, 51, 12}},
      {kStaticId, Label, {17, 131, 18, 8}, "Duty:", kAlignRight},
      {1031, Edit, {39, 130, 33, 12}},
      {kStaticId, Label, {77, 132, 9, 8}, "%"},
      {1032, Trackbar, {39, 35, 22, 90}, {}, kVertical | kAutoTicks},
      {kStaticId, Label, {75, 39, 11, 8}, "100"},
      {kStaticId, Label, {95, 22, 9, 8}, "Hz"},
      {1033, Trackbar, {108, 17, 31, 130}, {}, kVertical | kAutoTicks},
      {kStaticId, Label, {139, 22, 21, 8}, "80KHz"},
      {kStaticId, Label, {139, 136, 8, 8}, "0"},
      {kStaticId, Label, {176, 4, 49, 8}, "D-C Motor Test"},
      {1028, PushButton, {175, 16, 53, 15}, "Begin"},
      {kStaticId, GroupBox, {234, 1, 159, 147}, "Right"},
      {1010, CheckBox, {266, 9, 39, 8}, "Reverse"},
      {kStaticId, Label, {242, 22, 18, 8}, "Freq:", kAlignRight},
      {1035, Edit, {266, 21, 51, 12}},
      {1037, Trackbar, {266, 35, 22, 90}, {}, kVertical | kAutoTicks},
      {kStaticId, Label, {300, 39, 11, 8}, "100"},
      {kStaticId, Label, {242, 133, 18, 8}, "Duty:", kAlignRight},
      {1036, Edit, {264, 131, 33, 12}},
      {kStaticId, Label, {302, 133, 9, 8}, "%"},
      {kStaticId, Label, {300, 113, 8, 8}, "0"},
      {kStaticId, Label, {320, 22, 9, 8}, "Hz"},
      {1034, Trackbar, {334, 17, 31, 130}, {}, kVertical | kAutoTicks},
      {kStaticId, Label, {367, 22, 21, 8}, "80KHz"},
      {kStaticId, Label, {367, 136, 8, 8}, "0"},
  };

  std::vector<DialogTemplate> templates = {
      {kMainDialogTemplate, 384, 238, 9, false, kMainCaption, main},
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

}  // namespace

const DialogTemplate& FindDialogTemplate(int id) {
  for (const DialogTemplate* t : Store().pointers)
    if (t->id == id) return *t;
  throw std::out_of_range("no dialog template " + std::to_string(id));
}

std::span<const DialogTemplate* const> AllDialogTemplates() { return Store().pointers; }

}  // namespace tarnwick::res
