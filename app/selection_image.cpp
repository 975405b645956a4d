#include "selection_image.h"

#include "keys.h"
#include "measurement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <system_error>
#include <thread>

#include "CommonDlg_API.h"
#include "controls.h"
#include "open_into_record.h"
#include "paths.h"
#include "picture_loader.h"
#include "pixel_memory.h"
#include "reasons.h"
#include "texts.h"
#include "twips.h"
#include "viewport.h"

// The icons are compiled into this static library; make sure the linker
// keeps them and Qt knows them.
static void init_icon_resources() { Q_INIT_RESOURCE(icons); }

namespace app {

namespace {

const QColor kBackground(192, 192, 255);

// The picture holder's design rectangle: its corner is the view's origin,
// and its size stands in for the picture's while it holds none.
constexpr int kBoxLeft = 120, kBoxTop = 960, kBoxWidth = 1335, kBoxHeight = 1455;

}  // namespace

selection_image::selection_image(const QString& argument_string, const QString& program_folder,
                                 WindowDialogs dialogs_in, QWidget* parent, PictureReader read_picture)
    : QWidget(parent), dialogs(std::move(dialogs_in)), read_picture_(std::move(read_picture)) {
    init_icon_resources();
    setObjectName(QStringLiteral("selection_image"));
    setWindowTitle(QStringLiteral("selection_image"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    setPalette(pal);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Captions in a small face, so that they fit the design's button sizes.
    QFont captions = font();
    captions.setPointSize(8);
    setFont(captions);
    resize(7920 / 15, 6075 / 15);
    setAcceptDrops(true);
    clear_surface();
    create_controls();
    // The file name's face is found and loaded now, while the record's
    // picture may still be decoding, rather than in the first paint.
    name_font_ = QFont(QStringLiteral("arial"));
    name_font_.setPointSize(10);
    name_font_.setBold(false);
    QFontMetrics(name_font_).horizontalAdvance(QStringLiteral("9999999.jpg"));
    setMouseTracking(true);  // hovering over a handle shows the crosshair
    qApp->installEventFilter(this);
    Form_Load(argument_string, program_folder);
}

selection_image::~selection_image() {
    if (qApp) qApp->removeEventFilter(this);
}

void selection_image::create_controls() {
    std::vector<std::pair<int, QWidget*>> tab_order;
    for (const ControlSpec& spec : control_table()) {
        QWidget* control = create_control(this, spec);
        if (spec.tab >= 0) tab_order.emplace_back(spec.tab, control);
    }
    std::sort(tab_order.begin(), tab_order.end());
    for (std::size_t i = 1; i < tab_order.size(); ++i) setTabOrder(tab_order[i - 1].second, tab_order[i].second);
    auto named = [this]<class Control>(Control*& member, const char* name) {
        member = findChild<Control*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    };
    named(select_image, "select_image"), named(TWAIN_acquire, "TWAIN_acquire"), named(Cmd_paste, "Cmd_paste");
    named(cmdSave, "cmdSave"), named(supp_image, "supp_image"), named(Cmd_print, "Cmd_print");
    named(TWAIN_src, "TWAIN_src"), named(lbimage, "lbimage"), named(scrollContrast, "scrollContrast");
    named(Image4, "Image4"), named(scrollLight, "scrollLight"), named(cmd_invert, "cmd_invert");
    named(Cmd_deconvolution, "Cmd_deconvolution"), named(test_angle, "test_angle"), named(Lb_zoom, "Lb_zoom");
    named(Image3, "Image3"), named(scrollGamma, "scrollGamma"), named(Image1, "Image1");
    named(scrollColor, "scrollColor"), named(cmdReset, "cmdReset"), named(test_long, "test_long");
    named(id_image, "id_image"), named(id_animal, "id_animal"), named(HScrollBar, "HScrollBar");
    named(VScrollBar, "VScrollBar");
    QPalette zoom_colour = Lb_zoom->palette();
    zoom_colour.setColor(QPalette::WindowText, QColor(192, 0, 192));
    Lb_zoom->setPalette(zoom_colour);

    connect(select_image, &QPushButton::clicked, this, &selection_image::select_image_Click);
    connect(TWAIN_acquire, &QPushButton::clicked, this, &selection_image::TWAIN_acquire_Click);
    connect(Cmd_paste, &QPushButton::clicked, this, &selection_image::Cmd_paste_Click);
    connect(cmdSave, &QPushButton::clicked, this, &selection_image::cmdSave_Click);
    connect(supp_image, &QPushButton::clicked, this, &selection_image::supp_image_Click);
    connect(Cmd_print, &QPushButton::clicked, this, &selection_image::Cmd_print_Click);
    connect(TWAIN_src, &QPushButton::clicked, this, &selection_image::TWAIN_src_Click);
    connect(scrollContrast, &QScrollBar::valueChanged, this, &selection_image::scrollContrast_Change);
    connect(scrollLight, &QScrollBar::valueChanged, this, &selection_image::scrollLight_Change);
    connect(cmd_invert, &QPushButton::clicked, this, &selection_image::cmd_invert_Click);
    connect(Cmd_deconvolution, &QPushButton::clicked, this, &selection_image::Cmd_deconvolution_Click);
    connect(test_angle, &QPushButton::clicked, this, &selection_image::test_angle_Click);
    connect(scrollGamma, &QScrollBar::valueChanged, this, &selection_image::scrollGamma_Change);
    connect(scrollColor, &QScrollBar::valueChanged, this, &selection_image::scrollColor_Change);
    connect(cmdReset, &QPushButton::clicked, this, &selection_image::cmdReset_Click);
    connect(test_long, &QPushButton::clicked, this, &selection_image::test_long_Click);
    connect(HScrollBar, &QScrollBar::valueChanged, this, &selection_image::HScrollBar_Change);
    connect(VScrollBar, &QScrollBar::valueChanged, this, &selection_image::VScrollBar_Change);
}

void selection_image::Form_Load(const QString& argument_string, const QString& program_folder) {
    // The sliders line up with the icons beside them.
    const int icon_height = lbimage->height();
    for (QScrollBar* s : {scrollColor, scrollContrast, scrollGamma, scrollLight}) {
        QRect g = s->geometry();
        g.setHeight(icon_height);
        s->setGeometry(g);
    }

    // The host's fields: the record's file, then the open dialog's folder.
    std::vector<QString> fields(101);
    split_fields(fields, argument_string, QStringLiteral(";"));
    zoom_factor = 1.0;
    const QString record = fields[0];
    if (!record.isEmpty()) {
        image_path = get_folder(record);
        image_filename = record.mid(image_path.size());
        if (file_exists(record)) {
            guarded(kLoadErrorPrefix, [this, &record] {
                if (auto loaded = load_image(record); !loaded) show_failure(kLoadErrorPrefix, loaded.error());
            });
        } else {
            // load_path is still empty here: this first dialog starts in the
            // system's default folder.
            open_file();
        }
    } else {
        image_path = program_folder + kFolderSeparator;
        image_filename = QStringLiteral("9999999.jpg");
    }
    load_path = fields[1].isEmpty() ? program_folder : fields[1];
}

void selection_image::show_failure(const QString& prefix, const core::Failure& failure) {
    if (dialogs.inform) dialogs.inform(this, prefix + failure.reason_as<QString>(), QMessageBox::NoIcon);
}

filter::clsPicfilter& selection_image::picture_filter() {
    if (!filter) filter = std::make_unique<filter::clsPicfilter>();
    return *filter;
}

double selection_image::picture_width() const {
    return PBox.image.isNull() ? double(kBoxWidth) : view::pixels_to_twips(PBox.image.width());
}

double selection_image::picture_height() const {
    return PBox.image.isNull() ? double(kBoxHeight) : view::pixels_to_twips(PBox.image.height());
}

void selection_image::take_picture(const QImage& picture) {
    // Out of memory, the filter and the holder both keep the old picture.
    QImage next = picture.isNull() || picture.format() == QImage::Format_RGB32
                      ? picture
                      : picture.convertToFormat(QImage::Format_RGB32);
    if (next.isNull() && !picture.isNull()) throw std::bad_alloc();
    picture_filter().Picture(next);
    PBox.image = std::move(next);
    picture_changed();
    memory_to_ready_ = true;
    applied_ = settings();  // a control that fails to adjust the new picture goes back to these
}

void selection_image::picture_changed() { mip_.reset(PBox.image); }

void selection_image::ready_memory_for_adjustments() {
    if (PBox.image.isNull()) return;
    // The result and the holder's copy of the first adjustment, readied
    // while the user looks at the new picture.
    const auto bytes = static_cast<std::size_t>(PBox.image.sizeInBytes());
    try {
        std::thread(core::ready_blocks, bytes, 2).detach();
    } catch (const std::system_error&) {
        // No thread to spare (memory is short): the first adjustment takes
        // its fresh pages as they come.
    }
}

core::Result<> selection_image::load_image(const QString& strImage) {
    auto picture = read_picture_ ? read_picture_(strImage) : sources::load_picture(strImage);
    if (!picture) return core::fail(picture.error());
    take_picture(*picture);
    Form_Paint();
    return {};
}

void selection_image::open_file() {
    if (!dialogs.open_file) return;
    const QString chosen = dialogs.open_file(this, kOpenTitle, load_path, kOpenFilter, QString());
    if (chosen.isEmpty()) return;
    open_chosen(chosen);
}

void selection_image::open_chosen(const QString& chosen) {
    auto opened = record::open_into_record(chosen, record_file());
    if (!opened) return show_failure(kLoadErrorPrefix, opened.error());
    for (const core::Failure& failure : opened->failures) show_failure(kLoadErrorPrefix, failure);
    take_picture(opened->picture);
    Form_Paint();
}

void selection_image::select_image_Click() {
    guarded(kLoadErrorPrefix, [this] { open_file(); });
}

bool selection_image::guarded(const QString& prefix, const std::function<void()>& operation) {
    try {
        operation();
        return true;
    } catch (const std::bad_alloc&) {
        // The operation is abandoned; what it had not yet replaced stays.
    }
    // Alone, the reason starts the sentence. Saying it may need memory too:
    // then it goes to the standard error, the last place left.
    const QString text = prefix.isEmpty() ? kOutOfMemory : prefix + QString::fromUtf8(core::kNoMemory);
    try {
        if (dialogs.inform) dialogs.inform(this, text, QMessageBox::NoIcon);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "selection_image: %s\n", core::kNoMemory);
    }
    try {
        Form_Paint();
    } catch (const std::bad_alloc&) {
    }
    return false;
}

// ---- adjustment controls ----

selection_image::Settings selection_image::settings() const {
    return {cmd_invert->isChecked(), scrollLight->value(), scrollContrast->value(), scrollGamma->value(),
            scrollColor->value()};
}

void selection_image::show_settings(const Settings& s) {
    // Putting the controls back is not a change the user made: their
    // handlers are not run for it.
    const QSignalBlocker quiet[] = {QSignalBlocker(cmd_invert), QSignalBlocker(scrollLight),
                                    QSignalBlocker(scrollContrast), QSignalBlocker(scrollGamma),
                                    QSignalBlocker(scrollColor)};
    cmd_invert->setChecked(s.invert);
    scrollLight->setValue(s.light);
    scrollContrast->setValue(s.contrast);
    scrollGamma->setValue(s.gamma);
    scrollColor->setValue(s.colour);
}

void selection_image::apply_filters() {
    if (reset_in_progress) return;
    // The picture on screen is the one made with the settings last applied;
    // an adjustment that cannot be made leaves the controls showing those.
    if (!guarded({}, [this] { run_filters(); })) return show_settings(applied_);
    applied_ = settings();
}

void selection_image::run_filters() {
    filter::clsPicfilter& f = picture_filter();
    if (f.initialized) {
        const Settings s = settings();
        f.PicProcessing(s.invert, s.light, s.contrast, s.gamma, s.colour);
        ++pipeline_runs_;
        f.display_result(PBox);
        picture_changed();
    }
    Form_Paint();
}

void selection_image::scrollContrast_Change() { apply_filters(); }
void selection_image::scrollLight_Change() { apply_filters(); }
void selection_image::scrollGamma_Change() { apply_filters(); }
void selection_image::scrollColor_Change() { apply_filters(); }
void selection_image::cmd_invert_Click() { apply_filters(); }

void selection_image::cmdReset_Click() {
    reset_in_progress = true;
    scrollColor->setValue(0);
    scrollContrast->setValue(0);
    scrollGamma->setValue(127);
    scrollLight->setValue(0);
    reset_in_progress = false;
    apply_filters();
}

void selection_image::Cmd_deconvolution_Click() {
    // Without a picture there is nothing to sharpen.
    if (!filter || !filter->initialized) return;
    guarded({}, [this] {
        filter->deconvolution();
        filter->display_result(PBox);
        picture_changed();
        Form_Paint();
    });
}

// ---- view ----

void selection_image::HScrollBar_Change() {
    offset_x = HScrollBar->value();
    Form_Paint();
}

void selection_image::VScrollBar_Change() {
    offset_y = VScrollBar->value();
    Form_Paint();
}

void selection_image::Form_Paint() {
    lay_out();
    draw();
}

void selection_image::lay_out() {
    Lb_zoom->setText(view::zoom_caption(zoom_factor));
    const QRect frame = frameGeometry();
    laid_out_frame_ = frame.size();
    view::ViewportInput in;
    in.outer_width = view::pixels_to_twips(frame.width());
    in.outer_height = view::pixels_to_twips(frame.height());
    in.box_left = kBoxLeft;
    in.box_top = kBoxTop;
    in.hbar_height = view::pixels_to_twips(HScrollBar->height());
    in.vbar_width = view::pixels_to_twips(VScrollBar->width());
    in.picture_width = picture_width();
    in.picture_height = picture_height();
    in.zoom = zoom_factor;
    const view::ViewportLayout layout = view::layout_viewport(in);
    view_left = layout.view_left;
    view_top = layout.view_top;
    view_width = layout.view_width;
    view_height = layout.view_height;

    HScrollBar->setGeometry(view::twips_rect_to_pixels(layout.hbar.left, layout.hbar.top,
                                                       std::max(0L, layout.hbar.width), layout.hbar.height));
    VScrollBar->setGeometry(view::twips_rect_to_pixels(layout.vbar.left, layout.vbar.top, layout.vbar.width,
                                                       std::max(0L, layout.vbar.height)));
    // The offsets stay where the bars can reach, as the bars themselves
    // would put them; the bars' own change handlers are not run for that.
    offset_x = std::clamp(offset_x, 0L, std::max(0L, layout.hbar_maximum));
    offset_y = std::clamp(offset_y, 0L, std::max(0L, layout.vbar_maximum));
    const QSignalBlocker quiet_h(HScrollBar), quiet_v(VScrollBar);
    VScrollBar->setMaximum(static_cast<int>(layout.vbar_maximum));
    VScrollBar->setPageStep(static_cast<int>(layout.vbar_large_step));
    HScrollBar->setMaximum(static_cast<int>(layout.hbar_maximum));
    HScrollBar->setPageStep(static_cast<int>(layout.hbar_large_step));
    HScrollBar->setValue(static_cast<int>(offset_x));
    VScrollBar->setValue(static_cast<int>(offset_y));
}

void selection_image::draw() {
    if (surface_.isNull()) return;
    // A smaller view (a narrower picture, a lower zoom) would leave the old
    // picture's pixels beside it: everything is drawn afresh then.
    const QRect target = view_width > 0 && view_height > 0
                             ? view::twips_rect_to_pixels(view_left, view_top, view_width, view_height)
                             : QRect();
    const bool view_moved = target != last_view_;
    if (view_moved) {
        surface_.fill(kBackground);
        last_view_ = target;
    }
    QPainter painter(&surface_);
    // Only what this paint draws goes to the screen again.
    QRect dirty = view_moved ? rect() : QRect();
    if (!target.isEmpty()) {
        try {
            if (PBox.image.isNull()) throw std::bad_alloc();  // nothing to draw: the background
            const QRectF source = view::source_rect(offset_x, offset_y, picture_width(), picture_height(), zoom_factor);
            mip_.draw(painter, target, PBox.image, view::twips_to_pixels(source));
        } catch (const std::bad_alloc&) {
            // A picture that cannot be drawn for want of memory leaves the
            // view's background, like no picture at all.
            painter.fillRect(target, kBackground);
        }
        dirty |= target;
    }
    draw_overlays(painter);
    // Overlays may reach anywhere on the view's side of the window.
    if (test_angle->isChecked() || test_long->isChecked()) dirty = rect();

    painter.setPen(QColor(0, 0, 255));
    painter.setFont(name_font_);
    const QPoint corner(static_cast<int>(view::nearest(view::twips_to_pixels(view_left))),
                        static_cast<int>(view::nearest(view::twips_to_pixels(view_top))));
    QRect text_rect;
    painter.drawText(QRect(corner, size()), Qt::AlignLeft | Qt::AlignTop, image_filename, &text_rect);
    painter.end();
    update(dirty | text_rect);
}

void selection_image::draw_overlays(QPainter& painter) {
    // The angle tool first, the proportion tool over it.
    if (test_angle->isChecked()) view::draw_angle_overlay(painter, handles);
    if (test_long->isChecked()) view::draw_proportion_overlay(painter, handles);
}

void selection_image::clear_surface() {
    // The surface has the screen's own density, so that the picture, the
    // overlays and the text are drawn with all the pixels it has; painting
    // on it stays in the window's logical units.
    const qreal dpr = devicePixelRatioF();
    if (surface_.size() != size() * dpr || surface_.devicePixelRatio() != dpr) {
        surface_ = QImage(size() * dpr, QImage::Format_RGB32);
        surface_.setDevicePixelRatio(dpr);
    }
    surface_.fill(kBackground);
}

void selection_image::Form_Resize() {
    clear_surface();
    Form_Paint();
}

void selection_image::resizeEvent(QResizeEvent*) {
    try {
        Form_Resize();
    } catch (const std::bad_alloc&) {
    }
}

// The window manager puts its frame around the window without the widget
// being told: the new frame shows in the frame geometry by the time the move
// that follows it, or the next paint, comes. The view is laid out from the
// frame's size, so it is laid out again then.
void selection_image::lay_out_for_a_new_frame() {
    if (frameGeometry().size() != laid_out_frame_) Form_Resize();
}

void selection_image::moveEvent(QMoveEvent*) {
    try {
        lay_out_for_a_new_frame();
    } catch (const std::bad_alloc&) {
    }
}

void selection_image::paintEvent(QPaintEvent* event) {
    // Nothing may leave an event handler by an exception: out of memory, the
    // view shows what the surface holds, or the background.
    try {
        lay_out_for_a_new_frame();
    } catch (const std::bad_alloc&) {
    }
    QPainter painter(this);
    const QRect r = event->rect();
    if (surface_.isNull()) {
        painter.fillRect(r, kBackground);
    } else {
        const qreal dpr = surface_.devicePixelRatio();
        painter.drawImage(QRectF(r), surface_, QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
    }
    painter.end();
    ++frames_shown_;
    if (first_frame_pending_ && isVisible()) {
        first_frame_pending_ = false;
        if (first_frame_shown) first_frame_shown();
    }
    // Once a new picture is on screen, and not before it.
    if (memory_to_ready_ && isVisible()) {
        memory_to_ready_ = false;
        QTimer::singleShot(0, this, &selection_image::ready_memory_for_adjustments);
    }
}

// ---- keys ----

bool selection_image::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        // A key event travels from the focus widget up to its parents; the
        // window sees it once, at its first stop.
        if (widget && widget->window() == this && event->type() == QEvent::KeyPress) {
            QWidget* focus = QApplication::focusWidget();
            const bool first_stop = focus ? watched == focus : watched == this;
            if (first_stop && Form_KeyDown(static_cast<QKeyEvent*>(event))) return true;
        }
    }
    // The bars' own wheel step is their small step, a few twips: a notch
    // over a bar moves the view as far as an arrow key does instead.
    if (event->type() == QEvent::Wheel && (watched == HScrollBar || watched == VScrollBar)) {
        const QPoint angle = static_cast<QWheelEvent*>(event)->angleDelta();
        auto* bar = static_cast<QScrollBar*>(watched);
        bar->setValue(bar->value() - whole_notches(angle.y() != 0 ? angle.y() : angle.x()) * view::kPanStep);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool selection_image::Form_KeyDown(QKeyEvent* event) {
    const int code = view::virtual_key_code(event->key());
    if (code && view::apply_view_key(code, zoom_factor, offset_x, offset_y, std::lround(picture_width()),
                                     std::lround(picture_height())))
        Form_Paint();
    // Space and Enter press the focused button or toggle, as anywhere on the
    // desktop; other typed characters never reach a control (the text boxes
    // stay empty); Tab still moves the focus.
    if (auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget())) {
        if (event->key() == Qt::Key_Space) return false;
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            button->click();
            return true;
        }
    }
    const QString text = event->text();
    return !text.isEmpty() && text != QLatin1String("\t") && event->key() != Qt::Key_Backtab;
}

}  // namespace app
