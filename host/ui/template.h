// Dialog templates as the dialog layer keeps them: one record per dialog and
// per control, generated at build time from the plug-in's resource script, so
// the window-system values (styles, ids, dialog units) are the script's own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vxui {

// The window-system style bits the resource script uses, with their values.
namespace style {
constexpr uint32_t kPopup = 0x80000000u, kChild = 0x40000000u, kVisible = 0x10000000u,
                   kDisabled = 0x08000000u, kCaption = 0x00C00000u, kBorder = 0x00800000u,
                   kSysMenu = 0x00080000u, kGroup = 0x00020000u, kTabStop = 0x00010000u;
constexpr uint32_t kModalFrame = 0x80u;
// Static controls: the low five bits say what is drawn.
constexpr uint32_t kStaticTypeMask = 0x1Fu, kStaticLeft = 0, kStaticCenter = 1, kStaticRight = 2,
                   kBlackRect = 4, kGrayRect = 5, kWhiteRect = 6, kBlackFrame = 7, kGrayFrame = 8,
                   kWhiteFrame = 9;
// Buttons: the low four bits say which kind.
constexpr uint32_t kButtonTypeMask = 0xFu, kPushButton = 0, kDefPushButton = 1, kCheckBox = 2,
                   kAutoCheckBox = 3, kGroupBox = 7;
}  // namespace style

struct ControlTemplate {
  const char* className;  // "Static", "Button" or "Edit"
  int id;                 // -1 for controls the dialog never addresses
  const char* text;
  int x, y, width, height;  // dialog units
  uint32_t style;
};

struct DialogTemplate {
  const char* name;
  const char* caption;
  const char* fontName;
  int fontSize;
  int x, y, width, height;  // dialog units
  uint32_t style;
  const ControlTemplate* controls;
  size_t controlCount;
};

// The tables generated from the resource script.
extern const DialogTemplate kTemplates[];
extern const size_t kTemplateCount;

}  // namespace vxui
