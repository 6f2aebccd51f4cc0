#pragma once
// The window's dialog templates as data: one table per dialog, rows in template
// order (which is also the tab order), rectangles in dialog units. The builder in
// dialog_builder.h turns a table into widgets; nothing here depends on Qt.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarnwick::pages {

enum class ControlKind : std::uint8_t {
  PushButton,
  TabStrip,
  DropDownList,
  Edit,
  Label,
  CheckBox,
  RadioButton,
  GroupBox,
  Trackbar,
};

enum ControlStyle : unsigned {
  kStylePlain = 0,
  kAlignRight = 1u << 0,
  kReadOnly = 1u << 1,
  kDisabled = 1u << 2,
  kStartsGroup = 1u << 3,  // the radio buttons that follow, up to the next group start, belong together
  kVertical = 1u << 4,     // trackbars
  kAutoTicks = 1u << 5,    // trackbars
};

inline constexpr int kStaticId = -1;

struct DluRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend constexpr bool operator==(const DluRect&, const DluRect&) = default;
};

struct ControlTemplate {
  constexpr ControlTemplate(int id_, ControlKind kind_, DluRect rect_, std::string_view text_ = {},
                            unsigned style_ = kStylePlain)
      : id(id_), kind(kind_), rect(rect_), text(text_), style(style_) {}

  int id;
  ControlKind kind;
  DluRect rect;
  std::string_view text;  // UTF-8
  unsigned style;
};

struct DialogTemplate {
  int id = 0;
  int width = 0;   // dialog units
  int height = 0;
  int pointSize = 8;
  bool border = false;
  std::string_view caption;  // UTF-8; empty for child panels
  std::span<const ControlTemplate> controls;
};

// Template ids.
inline constexpr int kMainDialogTemplate = 102;
inline constexpr int kCmd42Template = 129;
inline constexpr int kCmd21Template = 130;
inline constexpr int kCmd22Template = 131;
inline constexpr int kCmd23Template = 132;
inline constexpr int kCmd00Template = 133;
inline constexpr int kCmd40Template = 134;
inline constexpr int kCmd41Template = 135;
inline constexpr int kCmd43Template = 136;
inline constexpr int kCmd24Template = 137;
inline constexpr int kCmd3FTemplate = 138;
inline constexpr int kCmd38Template = 139;
inline constexpr int kCmd11Template = 140;
inline constexpr int kCmd12Template = 141;
inline constexpr int kCmd13Template = 142;
inline constexpr int kStepperTestTemplate = 143;
inline constexpr int kDcTestTemplate = 144;

// The template of id; throws std::out_of_range for an unknown id.
const DialogTemplate& FindDialogTemplate(int id);

// The positions in dialog.controls of the controls that take the focus, in reading
// order: top to bottom by rows, left to right within a row; the controls inside a
// group box come together, where the box stands. A page's Tab key follows it.
std::vector<std::size_t> LayoutTabOrder(const DialogTemplate& dialog);

// Every template, the main dialog first.
std::span<const DialogTemplate* const> AllDialogTemplates();

// The main window's caption and its tab strip, in tab order.
inline constexpr std::string_view kMainCaption = "Quorral RS485电机驱动器测试工具Ver1.3";

// Tab indices of the main window, in tab-strip order.
enum Tab : int {
  kTabCmd00, kTabCmd11, kTabCmd12, kTabCmd13, kTabCmd21, kTabCmd22, kTabCmd23, kTabCmd24,
  kTabCmd38, kTabCmd3F, kTabCmd40, kTabCmd41, kTabCmd42, kTabCmd43, kTabStepperTest, kTabDcTest,
  kTabCount
};

struct TabPage {
  std::string_view text;
  int templateId;
};
inline constexpr std::array<TabPage, kTabCount> kTabPages = {{
    {"CMD00", kCmd00Template},       {"CMD11", kCmd11Template}, {"CMD12", kCmd12Template},
    {"CMD13", kCmd13Template},       {"CMD21", kCmd21Template}, {"CMD22", kCmd22Template},
    {"CMD23", kCmd23Template},       {"CMD24", kCmd24Template}, {"CMD38", kCmd38Template},
    {"CMD3F", kCmd3FTemplate},       {"CMD40", kCmd40Template}, {"CMD41", kCmd41Template},
    {"CMD42", kCmd42Template},       {"CMD43", kCmd43Template}, {"Stepper Test", kStepperTestTemplate},
    {"D-C Test", kDcTestTemplate},
}};

}  // namespace tarnwick::pages
