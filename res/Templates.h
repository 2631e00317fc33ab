// Dialog templates, menus and string resources as data: one table per dialog, one row
// per control, with ids, kinds, captions, rectangles in dialog units and styles.
#pragma once
#include <cstdint>
#include <vector>

enum class ECtrlKind { GroupBox, PushButton, CheckBox, RadioButton, Edit, Static };

struct SControlDef {
  int id;  // IDC_STATIC (-1) for controls nobody addresses
  ECtrlKind kind;
  const char* text;
  int x, y, cx, cy;  // dialog units
  uint32_t style;    // control style bits (button/edit/static styles, WS_* bits)
  uint32_t exStyle;
};

struct SMenuItemDef {
  int id;                           // 0 for a separator or a popup
  const char* text;                 // nullptr for a separator
  std::vector<SMenuItemDef> items;  // non-empty for a popup
};

struct SDialogDef {
  int id;
  const char* caption;
  uint32_t style;
  uint32_t exStyle;
  const char* fontFace;  // the template's font; a CJK fallback is added when it is missing
  int pointSize;
  int cx, cy;                         // client area in dialog units
  int menuId;                         // 0 when the dialog has no menu bar
  std::vector<SControlDef> controls;  // creation (and z) order
  std::vector<int> tabOrder;          // ids of the controls that take the focus, in order
  const std::vector<SMenuItemDef>* menu = nullptr;  // set: this menu bar instead of menuId's
};

// The template or menu with this id; nullptr when there is none.
const SDialogDef* FindDialogTemplate(int id);
const std::vector<SMenuItemDef>* FindMenuResource(int id);
// String resource text; "" when unknown.
const char* LoadResourceString(int id);
