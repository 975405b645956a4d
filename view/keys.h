#pragma once

namespace view {

// Virtual-key codes of the keys that act on the view.
enum ViewKey : int {
    kKeyPageUp = 33,
    kKeyPageDown = 34,
    kKeyEnd = 35,
    kKeyHome = 36,
    kKeyLeft = 37,
    kKeyUp = 38,
    kKeyRight = 39,
    kKeyDown = 40,
};

// The zoom moves in these steps, up only while below the top and down only
// while above the bottom; the sums are left as floating point gives them.
inline constexpr double kZoomStep = 0.2;
inline constexpr double kZoomTop = 5.0;
inline constexpr double kZoomBottom = 1.0;
// One arrow press pans the view by this many twips.
inline constexpr long kPanStep = 200;

// The virtual-key code of a Qt key (Qt::Key_PageUp -> 33, ...), or 0 for a
// key that does not act on the view.
int virtual_key_code(int qt_key);

// Applies a key to the zoom and the offsets (twips); the picture's size is
// in twips too. Returns whether the window must repaint: every key from
// Page Up to Down except End and Home, also when nothing changed.
bool apply_view_key(int key_code, double& zoom_factor, long& offset_x, long& offset_y, long picture_width,
                    long picture_height);

}  // namespace view
