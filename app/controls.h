#pragma once
#include <span>

class QWidget;

namespace app {

enum class ControlKind { push_button, toggle_button, slider, horizontal_bar, vertical_bar, label, icon, text_box };

// One control of the window as designed: its name (also its objectName),
// kind, caption (or an icon's resource), place and size in twips, tab index
// (-1 for none) and, for sliders and bars, range, starting value and large
// step.
struct ControlSpec {
    const char* name;
    ControlKind kind;
    const char* text;
    int left, top, width, height;
    int tab;
    int minimum = 0, maximum = 0, value = 0, large_step = 1;
};

// The window's controls, in the order they are created.
std::span<const ControlSpec> control_table();

// Makes the control on `parent`, named, placed and set up as `spec` says.
QWidget* create_control(QWidget* parent, const ControlSpec& spec);

}  // namespace app
