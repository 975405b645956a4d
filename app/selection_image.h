#pragma once
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "clsPicfilter.h"
#include "dialogs.h"
#include "measurement.h"
#include "mipmap.h"
#include "picture_box.h"
#include "pointer.h"
#include "result.h"
#include "viewport.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QKeyEvent;

namespace app {

class WindowDriver;

// The program's one window: the record's picture in a zoomable, scrollable
// view, and the controls that bring in, adjust, measure, store and print it.
// Positions, sizes, offsets and handles are twips; only drawing converts to
// Qt pixels (15 twips to the pixel). Its handlers keep the names of the
// controls' events (cmdSave_Click, scrollLight_Change, Form_Paint, ...).
class selection_image : public QWidget {
    Q_OBJECT

public:
    // `argument_string` is the host's command line after the program's name;
    // `program_folder` the folder of the executable (no trailing separator).
    // Loading the window runs start-up, which may already show the open-file
    // dialog or a message through `dialogs`.
    // `read_picture` decodes a picture file for load_image (the file loader
    // when empty); the program passes one that may already have started.
    using PictureReader = std::function<core::Result<QImage>(const QString& path)>;
    selection_image(const QString& argument_string, const QString& program_folder,
                    WindowDialogs dialogs = system_dialogs(), QWidget* parent = nullptr,
                    PictureReader read_picture = {});
    ~selection_image() override;

    // Start-up values, the host's to read: the record's picture file is
    // image_path + image_filename.
    QString image_path;
    QString image_filename;
    QString load_path;
    QString record_file() const { return image_path + image_filename; }

    // Called once, after the first paint event has put the surface on screen.
    std::function<void()> first_frame_shown;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void select_image_Click();
    void TWAIN_acquire_Click();
    void Cmd_paste_Click();
    void cmdSave_Click();
    void supp_image_Click();
    void Cmd_print_Click();
    void TWAIN_src_Click();
    void scrollContrast_Change();
    void scrollLight_Change();
    void cmd_invert_Click();
    void Cmd_deconvolution_Click();
    void test_angle_Click();
    void scrollGamma_Change();
    void scrollColor_Change();
    void cmdReset_Click();
    void test_long_Click();
    void HScrollBar_Change();
    void VScrollBar_Change();

private:
    friend class WindowDriver;

    // ---- start-up and controls ----
    void Form_Load(const QString& argument_string, const QString& program_folder);
    void create_controls();

    // ---- pictures ----
    double picture_width() const;  // twips; the holder's design size while it is empty
    double picture_height() const;
    filter::clsPicfilter& picture_filter();  // created when first needed
    // A picture arrives: it becomes PBox's picture and the filter's reference
    // (a null picture empties both). Does not repaint. Out of memory it
    // throws std::bad_alloc with both still holding the old picture.
    void take_picture(const QImage& picture);
    // PBox's image was rewritten in place (by the filter): refresh what the
    // view keeps derived from it.
    void picture_changed();
    void ready_memory_for_adjustments();
    // Shows a picture file without copying anything; fails when it cannot be
    // decoded (nothing is changed then).
    core::Result<> load_image(const QString& strImage);
    // The open-file operation (the "Ouvrir fichier" button, and start-up
    // when the record's file is missing), and what a chosen or dropped file
    // goes through.
    void open_file();
    void open_chosen(const QString& chosen);

    // ---- adjustments ----
    struct Settings {
        bool invert = false;
        int light = 0, contrast = 0, gamma = 127, colour = 0;
    };
    Settings settings() const;  // as the controls show them
    void show_settings(const Settings& s);
    void apply_filters();
    void run_filters();

    // ---- view ----
    // The window's repaint routine: lays out the view and its bars, then
    // draws the picture, the overlays and the file name on the surface.
    void Form_Paint();
    void Form_Resize();
    void lay_out_for_a_new_frame();
    // Where the view and its bars go for the window's size, the zoom and the
    // picture; sets the bars without their signals and keeps the offsets
    // within their range. Never paints.
    void lay_out();
    void draw();
    void draw_overlays(QPainter& painter);
    void clear_surface();
    view::ViewRect view_rect() const { return {view_left, view_top, view_width, view_height}; }
    view::ToolState tool_state() const;

    // ---- pointer, keys, wheel, drop ----
    // Key preview: every key stroke meant for any control of this window
    // comes here first; returning true keeps it from the control.
    bool Form_KeyDown(QKeyEvent* event);
    void Form_MouseDown(double x, double y);  // twips
    void Form_MouseMove(double x, double y);
    void Form_MouseUp();
    // The wheel over the view (x, y in twips): zoom, or with Shift a pan.
    void Form_MouseWheel(int notches, bool pan, double x, double y);
    // Whole notches of the wheel turned so far, the rest kept for later.
    int whole_notches(int eighths_of_degrees);
    // A picture file dropped on the window is brought in as the open-file
    // operation brings the one chosen in its dialog.
    void Form_DragDrop(const QString& file);

    // ---- messages ----
    // Runs an operation the user started; out of memory, it ends with the
    // message `prefix` + "mémoire insuffisante" and the window usable.
    // Returns whether the operation went through.
    bool guarded(const QString& prefix, const std::function<void()>& operation);
    void show_failure(const QString& prefix, const core::Failure& failure);
    bool ask_ok_cancel(const QString& text);  // true on OK
    bool ask_yes_no(const QString& text);     // true on Yes

    WindowDialogs dialogs;
    PictureReader read_picture_;

    // The working picture and the one filter (created on first use).
    filter::PictureBox PBox;
    std::unique_ptr<filter::clsPicfilter> filter;

    // View state, twips.
    double zoom_factor = 1.0;
    long offset_x = 0;
    long offset_y = 0;
    long view_left = 0;
    long view_top = 0;
    long view_width = 0;
    long view_height = 0;
    // Measurement handles, twips (0 to 6 used).
    view::Handles handles{};
    view::PointerInteraction pointer;
    view::PointerShape pointer_shape = view::PointerShape::Default;

    // True only while Reset puts the sliders back.
    bool reset_in_progress = false;
    // The controls' settings when the picture shown was made (adjusted, or
    // brought in): where a control goes back to when an adjustment fails.
    Settings applied_;

    // Controls, named as their objectName.
    QPushButton* select_image = nullptr;
    QPushButton* TWAIN_acquire = nullptr;
    QPushButton* Cmd_paste = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* supp_image = nullptr;
    QPushButton* Cmd_print = nullptr;
    QPushButton* TWAIN_src = nullptr;
    QLabel* lbimage = nullptr;
    QScrollBar* scrollContrast = nullptr;
    QLabel* Image4 = nullptr;
    QScrollBar* scrollLight = nullptr;
    QPushButton* cmd_invert = nullptr;
    QPushButton* Cmd_deconvolution = nullptr;
    QPushButton* test_angle = nullptr;
    QLabel* Lb_zoom = nullptr;
    QLabel* Image3 = nullptr;
    QScrollBar* scrollGamma = nullptr;
    QLabel* Image1 = nullptr;
    QScrollBar* scrollColor = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* test_long = nullptr;
    QLineEdit* id_image = nullptr;
    QLineEdit* id_animal = nullptr;
    QScrollBar* HScrollBar = nullptr;
    QScrollBar* VScrollBar = nullptr;

    // The persistent drawing surface (Format_RGB32, the window's size in
    // device pixels). Form_Paint draws on it and never clears it; resizing
    // does. Whatever is drawn on it shows at the next paint event.
    QImage surface_;
    QRect last_view_;          // the view rectangle the surface shows, in pixels
    QSize laid_out_frame_;     // the window's outer size the view was laid out for
    int wheel_remainder_ = 0;  // eighths of a degree short of a whole notch
    bool memory_to_ready_ = false;
    QFont name_font_;  // the file name at the view's corner
    view::MipPyramid mip_;
    std::uint64_t pipeline_runs_ = 0;
    std::uint64_t frames_shown_ = 0;
    bool first_frame_pending_ = true;
};

}  // namespace app
