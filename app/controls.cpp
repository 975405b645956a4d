#include "controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace app {

namespace {

using enum ControlKind;

// The design. The picture holder (tab index 6) is not a control here: the
// view paints its picture on the window itself.
constexpr ControlSpec kControls[] = {
    {"select_image", push_button, "Ouvrir fichier", 120, 60, 1095, 255, 0},
    {"TWAIN_acquire", push_button, "Acquerir scan", 1200, 60, 1215, 255, 1},
    {"Cmd_paste", push_button, "Coller", 2400, 60, 1215, 255, 15},
    {"cmdSave", push_button, "Enregistrer", 3720, 60, 975, 255, 12},
    {"supp_image", push_button, "Supprimer", 4800, 60, 975, 255, 3},
    {"Cmd_print", push_button, "Imprimer", 6000, 60, 855, 255, 17},
    {"TWAIN_src", push_button, "TWAIN", 6960, 60, 855, 255, 2},
    {"lbimage", icon, ":/icons/contrast.png", 120, 360, 300, 225, -1},
    {"scrollContrast", slider, "", 480, 360, 1215, 255, 7, -50, 50, 0, 1},
    {"Image4", icon, ":/icons/light.png", 1800, 360, 300, 225, -1},
    {"scrollLight", slider, "", 2160, 360, 1215, 255, 8, -50, 50, 0, 1},
    {"cmd_invert", toggle_button, "Negatif", 3480, 360, 855, 255, 16},
    {"Cmd_deconvolution", push_button, "Net", 4440, 360, 375, 255, 18},
    {"test_angle", toggle_button, "Angle A^B", 4920, 360, 975, 255, 13},
    {"Lb_zoom", label, "ZOOM", 6000, 360, 855, 255, 19},
    {"Image3", icon, ":/icons/gamma.png", 120, 600, 300, 225, -1},
    {"scrollGamma", slider, "", 480, 600, 1215, 255, 9, 1, 254, 127, 1},
    {"Image1", icon, ":/icons/colour.png", 1800, 600, 300, 225, -1},
    {"scrollColor", slider, "", 2160, 600, 1215, 255, 10, 0, 20, 0, 1},
    {"cmdReset", push_button, "Reset", 3480, 600, 855, 255, 11},
    {"test_long", toggle_button, "Proportion", 4920, 600, 975, 255, 14},
    {"id_image", text_box, "", 3600, 1320, 735, 285, 5},
    {"id_animal", text_box, "", 4440, 1320, 615, 285, 4},
    {"HScrollBar", horizontal_bar, "", 240, 5520, 3855, 255, 20, 0, 1000, 0, 100},
    {"VScrollBar", vertical_bar, "", 7320, 2520, 255, 2175, 21, 0, 1000, 0, 100},
};

QScrollBar* scroll_bar(const ControlSpec& spec, Qt::Orientation orientation, QWidget* parent) {
    auto* s = new QScrollBar(orientation, parent);
    s->setRange(spec.minimum, spec.maximum);
    s->setSingleStep(1);
    s->setPageStep(spec.large_step);
    s->setValue(spec.value);
    // A change is reported when the value changes, not while the thumb moves.
    s->setTracking(false);
    return s;
}

}  // namespace

std::span<const ControlSpec> control_table() { return kControls; }

QWidget* create_control(QWidget* parent, const ControlSpec& spec) {
    const QString text = QString::fromUtf8(spec.text);
    QWidget* w = nullptr;
    switch (spec.kind) {
        case push_button:
        case toggle_button: {
            auto* b = new QPushButton(text, parent);
            b->setCheckable(spec.kind == toggle_button);
            // No button is the default one, drawn or pressed by Enter elsewhere.
            b->setAutoDefault(false);
            w = b;
            break;
        }
        case slider:
        case horizontal_bar:
            w = scroll_bar(spec, Qt::Horizontal, parent);
            break;
        case vertical_bar:
            w = scroll_bar(spec, Qt::Vertical, parent);
            break;
        case label:
            w = new QLabel(text, parent);
            break;
        case icon: {
            auto* l = new QLabel(parent);
            l->setPixmap(QPixmap(text));
            l->setScaledContents(true);
            w = l;
            break;
        }
        // They hold nothing and nothing reads them; they would stand over the
        // picture, so they stay hidden.
        case text_box:
            w = new QLineEdit(parent);
            w->hide();
            break;
    }
    w->setObjectName(QString::fromLatin1(spec.name));
    w->setGeometry(spec.left / 15, spec.top / 15, spec.width / 15, spec.height / 15);
    if (spec.kind != label && spec.kind != icon) w->setFocusPolicy(Qt::StrongFocus);
    return w;
}

}  // namespace app
