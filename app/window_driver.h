#pragma once
#include <QString>
#include <cstdint>

#include "selection_image.h"

namespace app {

// What tests and benchmarks do with the window besides using its controls
// as a user does: read what the view shows and where, and the few steps
// that no control offers on its own. Nothing here changes how the window
// behaves.
class WindowDriver {
public:
    explicit WindowDriver(selection_image& window) : w_(window) {}

    // A control by its name ("cmdSave", "scrollLight", ...).
    template <class Control>
    Control* control(const char* name) const {
        return w_.findChild<Control*>(QString::fromLatin1(name));
    }

    struct View {
        double zoom = 1.0;
        long offset_x = 0, offset_y = 0;
        view::ViewRect rect;
    };
    View view() const { return {w_.zoom_factor, w_.offset_x, w_.offset_y, w_.view_rect()}; }
    // A zoom of the test's choosing, shown at the next paint.
    void set_zoom(double zoom) { w_.zoom_factor = zoom; }

    const QImage& picture() const { return w_.PBox.image; }
    const view::Handles& handles() const { return w_.handles; }
    const filter::clsPicfilter& filter() { return w_.picture_filter(); }
    core::Result<> load_image(const QString& path) { return w_.load_image(path); }
    void paint() { w_.Form_Paint(); }

    // How many times the adjustment pipeline has run, and how many paint
    // events have put the surface on screen.
    std::uint64_t pipeline_runs() const { return w_.pipeline_runs_; }
    std::uint64_t frames_shown() const { return w_.frames_shown_; }

private:
    selection_image& w_;
};

}  // namespace app
