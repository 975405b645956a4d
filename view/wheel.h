#pragma once

namespace view {

// The mouse wheel over the view. Each notch up zooms in as Page Up does,
// each notch down out as Page Down does (same steps and limits), and the
// picture point under the pointer stays under it as far as the offsets
// allow. `fx`, `fy` are the pointer's place in the view as fractions of its
// width and height (0..1); sizes and offsets are twips. Returns whether the
// view must repaint.
bool apply_wheel_zoom(int notches, double fx, double fy, double& zoom_factor, long& offset_x, long& offset_y,
                      long picture_width, long picture_height);

// Shift + wheel pans sideways by the arrow keys' step per notch: a notch up
// to the left, a notch down to the right.
bool apply_wheel_pan(int notches, double zoom_factor, long& offset_x, long& offset_y, long picture_width,
                     long picture_height);

}  // namespace view
