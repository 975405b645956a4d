#include <QGuiApplication>
#include <cmath>
#include <QClipboard>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPushButton>

#include "measurement.h"
#include "print_job.h"
#include "record_file.h"
#include "sane_twain.h"
#include "texts.h"
#include "selection_image.h"
#include "twips.h"
#include "wheel.h"

namespace app {

// Handlers whose operations live in their own modules (scanner, clipboard,
// the record's file, printing, measurement tools): each is a few lines that
// call them and say what went wrong.

bool selection_image::ask_ok_cancel(const QString& text) {
    return dialogs.ask(this, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Question) == QMessageBox::Ok;
}

bool selection_image::ask_yes_no(const QString& text) {
    return dialogs.ask(this, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoIcon) == QMessageBox::Yes;
}

void selection_image::TWAIN_src_Click() {
    if (auto chosen = scan::select_source(this); !chosen) show_failure(kTwainSelectErrorPrefix, chosen.error());
}

void selection_image::TWAIN_acquire_Click() {
    guarded(kLoadErrorPrefix, [this] {
        auto scanned = record::scan(this, record_file());
        if (!scanned) return show_failure({}, scanned.error());
        take_picture(*scanned);
        Form_Paint();  // a user expects to see the scan at once
    });
}

void selection_image::Cmd_paste_Click() {
    guarded(kLoadErrorPrefix, [this] {
        bool shown = false;
        const auto pasted = record::paste(QGuiApplication::clipboard()->mimeData(), record_file(),
                                          [&](const QImage& picture) { take_picture(picture), shown = true; });
        if (!pasted)
            show_failure(kLoadErrorPrefix, pasted.error());
        else if (!*pasted)
            dialogs.inform(this, kNoClipboardImage, QMessageBox::Information);
        if (shown) Form_Paint();
    });
}

void selection_image::cmdSave_Click() {
    // Nothing, not even the runtime folder, is touched before the answer.
    if (!ask_ok_cancel(kSaveQuestion)) return;
    guarded(kSaveErrorPrefix, [this] {
        if (auto saved = record::save(PBox.image, record_file()); !saved) show_failure(kSaveErrorPrefix, saved.error());
    });
}

void selection_image::supp_image_Click() {
    if (!ask_yes_no(kDeleteQuestion)) return;
    // The window closes whether or not the file could go, but not before
    // saying that it is still there.
    if (auto removed = record::remove(record_file()); !removed) show_failure(kDeleteErrorPrefix, removed.error());
    close();
}

void selection_image::Cmd_print_Click() {
    print::PrintRequest request;
    request.image = PBox.image;
    request.view = {picture_width(), picture_height(), view_left, view_top, view_width,
                    view_height,     zoom_factor,      offset_x,  offset_y};
    request.angle_tool = test_angle->isChecked();
    request.proportion_tool = test_long->isChecked();
    request.handles = handles;
    request.image_filename = image_filename;
    guarded({}, [&] {  // the window is not repainted
        if (auto printed = print::print_on_default_printer(request); !printed)
            dialogs.inform(this, printed.error().reason_as<QString>(), QMessageBox::Information);
    });
}

void selection_image::test_angle_Click() {
    view::place_default_angle_handles(handles, view_rect());
    Form_Paint();
}

void selection_image::test_long_Click() {
    view::place_default_proportion_handles(handles, view_rect());
    Form_Paint();
}

view::ToolState selection_image::tool_state() const { return {test_angle->isChecked(), test_long->isChecked()}; }

void selection_image::Form_MouseDown(double x, double y) { pointer.mouse_down(x, y, handles, tool_state()); }

void selection_image::Form_MouseMove(double x, double y) {
    const view::MoveOutcome m = pointer.mouse_move(x, y, handles, view_rect(), tool_state(), pointer_shape, surface_);
    if (m.pointer != pointer_shape) {
        pointer_shape = m.pointer;
        setCursor(pointer_shape == view::PointerShape::Crosshair ? Qt::CrossCursor : Qt::ArrowCursor);
    }
    if (!m.dirty.isEmpty()) update(m.dirty);
}

void selection_image::Form_MouseUp() {
    if (pointer.mouse_up(tool_state())) Form_Paint();
}

void selection_image::mousePressEvent(QMouseEvent* event) {
    const QPointF p = event->position() * view::kTwipsPerPixel;
    Form_MouseDown(p.x(), p.y());
}

void selection_image::mouseMoveEvent(QMouseEvent* event) {
    const QPointF p = event->position() * view::kTwipsPerPixel;
    Form_MouseMove(p.x(), p.y());
}

void selection_image::mouseReleaseEvent(QMouseEvent*) { Form_MouseUp(); }

void selection_image::Form_MouseWheel(int notches, bool pan, double x, double y) {
    const long pw = std::lround(picture_width()), ph = std::lround(picture_height());
    const bool repaint =
        pan ? view::apply_wheel_pan(notches, zoom_factor, offset_x, offset_y, pw, ph)
            : view::apply_wheel_zoom(notches, (x - view_left) / view_width, (y - view_top) / view_height, zoom_factor,
                                     offset_x, offset_y, pw, ph);
    if (repaint) Form_Paint();
}

int selection_image::whole_notches(int eighths_of_degrees) {
    // A high-resolution wheel sends a notch in several smaller steps.
    wheel_remainder_ += eighths_of_degrees;
    const int notches = wheel_remainder_ / 120;
    wheel_remainder_ -= notches * 120;
    return notches;
}

void selection_image::wheelEvent(QWheelEvent* event) {
    // Only over the view; the window's event filter takes the wheel over the bars.
    const QPointF p = event->position() * view::kTwipsPerPixel;
    if (view_width <= 0 || view_height <= 0 || p.x() < view_left || p.y() < view_top ||
        p.x() >= view_left + view_width || p.y() >= view_top + view_height)
        return event->ignore();
    const QPoint angle = event->angleDelta();
    // Some systems turn Shift + wheel into a sideways wheel themselves.
    const bool pan = (event->modifiers() & Qt::ShiftModifier) || angle.x() != 0;
    Form_MouseWheel(whole_notches(angle.x() != 0 ? angle.x() : angle.y()), pan, p.x(), p.y());
    event->accept();
}

namespace {

// The one local picture file a drag carries, or nothing: several files,
// text or a folder are not for this window.
QString dropped_file(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().first();
    if (!url.isLocalFile()) return {};
    const QFileInfo info(url.toLocalFile());
    return info.isFile() ? info.absoluteFilePath() : QString();
}

}  // namespace

void selection_image::dragEnterEvent(QDragEnterEvent* event) {
    if (dropped_file(event->mimeData()).isEmpty()) return event->ignore();
    event->acceptProposedAction();
}

void selection_image::dropEvent(QDropEvent* event) {
    const QString file = dropped_file(event->mimeData());
    if (file.isEmpty()) return event->ignore();
    event->acceptProposedAction();
    Form_DragDrop(file);
}

void selection_image::Form_DragDrop(const QString& file) {
    guarded(kLoadErrorPrefix, [this, &file] { open_chosen(file); });
}

}  // namespace app
