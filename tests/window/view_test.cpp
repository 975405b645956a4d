// The window as the user drives it, checked on screen and on disk: zoom, scroll, adjustments,
// tools, and opening a picture into the record, saving and deleting it.
#include <QTimer>

#include "picture_loader.h"
#include "reference_filter.h"
#include "window_fixture.h"

namespace {

// One user action a character: + - Page Up and Down, L R U D the arrows, h v
// a page along a bar, H V to a bar's end; l c g k K set a slider (light 30,
// contrast -40, gamma 60, colour 20, colour 1); i n r a p click "Negatif",
// "Net", Reset and the tools; o opens `chosen` (made by the test: its
// pictures show the blocks upside down; "own" is the record's file); s d
// save and delete, answering the question with Enter, S D with Escape.
struct Case {
    const char* actions;
    long percent, offset_x, offset_y, runs;  // zoom, offsets, pipeline runs
    QSize window = {528, 405};
    const char* chosen = "";
    int messages = 0;
};

// The picture is 18000 x 9000 twips.
const Case kCases[] = {
    {"", 100, 0, 0, 0},
    {"+++++hv", 200, 1801, 901, 0},
    {"+++++HV", 200, 9000, 4500, 0},
    {"+++++HV-", 180, 8000, 4000, 0},
    {"+++++HVLLU", 200, 8600, 4300, 0},
    {"+RRRRRRRRRRRRRRRRDDDDDDDDDD", 120, 3000, 1500, 0},
    {"++++++++++++++++++++++++HV", 500, 14400, 7200, 0},
    {"++++++++++++++++++++++++HV------------------------", 100, 0, 0, 0},
    {"LLLUUU---", 100, 0, 0, 0},
    {"+++++HV", 200, 9000, 4500, 0, {900, 700}},
    {"", 100, 0, 0, 0, {300, 200}},  // nothing is left of the larger window
    {"lcgK", 100, 0, 0, 4},
    {"k", 100, 0, 0, 1},
    {"i", 100, 0, 0, 1},
    {"ln", 100, 0, 0, 1},  // "Net" shows the sharpened picture without the settings
    {"r", 100, 0, 0, 1},
    {"ilcgknr", 100, 0, 0, 6},
    {"nlnr+++++R", 200, 200, 0, 2},
    {"is", 100, 0, 0, 1},
    {"iS", 100, 0, 0, 1},
    {"d", 100, 0, 0, 0},
    {"D", 100, 0, 0, 0},
    {"a", 100, 0, 0, 0},
    {"aa", 100, 0, 0, 0},
    {"p", 100, 0, 0, 0},
    {"pp", 100, 0, 0, 0},
    // Zoom, offsets and settings stay; a new picture is shown unadjusted.
    {"+++++Rgo", 200, 200, 0, 1},
    {"+++++Rgo", 200, 200, 0, 1, {528, 405}, "p.png"},
    {"+++++Rgo", 200, 200, 0, 1, {528, 405}, "p.BMP"},
    {"+++++Rgo", 200, 200, 0, 1, {528, 405}, "own"},
    {"+++++Rgo", 200, 200, 0, 1, {528, 405}, "text.jpg", 1},
};

const QString kSave =
    "Attention, vous allez enregistrer les modifications apportées par les filtres de "
    "manière définitive.";
const QString kDelete = "Etes vous sûr de vouloir supprimer cette image ?";

RefPicture as_ref(const QImage& img) {  // RGB32 rows hold 4 * width bytes
    return {img.width(), img.height(), std::vector<std::uint8_t>(img.constBits(), img.constBits() + img.sizeInBytes())};
}

class View : public WindowTest, public ::testing::WithParamInterface<Case> {};

// Each adjustment runs the pipeline on the reference (the picture, sharpened
// by each "Net") with the settings; "Net" shows the sharpened reference as
// it is; Reset puts the sliders back but not "Negatif".
TEST_P(View, ShowsThePictureAsAskedAndKeepsTheRecord) {
    const Case c = GetParam();
    const QString acts = QString::fromLatin1(c.actions), name = QString::fromLatin1(c.chosen);
    const QString chosen = name == "own" ? record : path(name);
    const QImage flipped = blocks().mirrored(false, true);
    if (name.startsWith("p.")) flipped.save(chosen, name == "p.png" ? "PNG" : "BMP");
    if (name == "text.jpg") write_bytes(chosen, "Ceci n'est pas une image.");
    const std::uint64_t runs = d->pipeline_runs();
    RefPicture ref = as_ref(blocks());
    QScrollBar* const sliders[] = {bar("scrollColor"), bar("scrollLight"), bar("scrollContrast"), bar("scrollGamma")};
    QPushButton* const buttons[] = {button("cmd_invert"),   button("Cmd_deconvolution"), button("cmdReset"),
                                    button("select_image"), button("cmdSave"),           button("cmdSave"),
                                    button("supp_image"),   button("supp_image"),        button("test_angle"),
                                    button("test_long")};
    std::map<QScrollBar*, int> rest{
        {bar("scrollLight"), 0}, {bar("scrollContrast"), 0}, {bar("scrollGamma"), 127}, {bar("scrollColor"), 0}},
        set = rest;
    bool invert = false, processed = false;
    QStringList asked, questions;
    Qt::Key answer = Qt::Key_Return;
    QTimer poll;  // answers the system's question boxes
    poll.callOnTimeout([&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            asked << box->text(), QTest::keyClick(box, answer);
    });
    poll.start(5);
    w->resize(c.window);
    answers = {name.isEmpty() ? QString() : chosen};
    for (const QChar a : acts) {
        const auto key = QString("LURD+-").indexOf(a), page = QString("hvHV").indexOf(a),
                   slider = QString("Klcgk").indexOf(a), button = QString("inrosSdDap").indexOf(a);
        // Qt numbers these keys in that order; they go to a control that does nothing with them.
        QLabel* const zoom = d->control<QLabel>("Lb_zoom");
        if (key >= 0) zoom->setFocus(), QTest::keyClick(zoom, Qt::Key(Qt::Key_Left + key));
        if (page >= 0)
            bar(page % 2 ? "VScrollBar" : "HScrollBar")
                ->triggerAction(page < 2 ? QScrollBar::SliderPageStepAdd : QScrollBar::SliderToMaximum);
        if (slider >= 0)
            sliders[slider % 4]->setValue(set[sliders[slider % 4]] = std::vector{1, 30, -40, 60, 20}[slider]);
        if (button >= 0)
            answer = a.isUpper() ? Qt::Key_Escape : Qt::Key_Return, QTest::mouseClick(buttons[button], Qt::LeftButton);
        if (button >= 4 && button < 8) questions << (button < 6 ? kSave : kDelete);
        invert ^= a == 'i';
        if (a == 'n') ref = reference_deconvolution(ref);
        if (a == 'r') set = rest;
        const bool taken = a == 'o' && *c.chosen && !c.messages;  // a new picture, or the record again
        if (taken) ref = as_ref(name.startsWith("p.") ? flipped : blocks());
        processed = a == 'n' || taken ? false : processed || slider >= 0 || a == 'i' || a == 'r';
    }
    EXPECT_EQ(asked, questions);
    EXPECT_EQ(opened, std::vector<QStringList>(acts.count('o'), {"Selection image", path("start"),
                                                                 "JPEG|*.jpg|Bitmap|*.BMP|DICOM|*.dcm|Tous|*.*", ""}));
    ASSERT_EQ(messages.size(), std::size_t(c.messages));
    for (const QString& m : messages) EXPECT_TRUE(m.startsWith("error_load_pic: ") && m.size() > 20) << m.toStdString();
    EXPECT_EQ(std::make_tuple(d->view().offset_x, d->view().offset_y, d->pipeline_runs()),
              std::make_tuple(c.offset_x, c.offset_y, runs + c.runs));
    if (processed)
        ref = reference_processing(ref, invert, set[bar("scrollLight")], set[bar("scrollContrast")],
                                   set[bar("scrollGamma")], set[bar("scrollColor")]);
    const QImage want = QImage(ref.px.data(), ref.w, ref.h, QImage::Format_RGB32).copy();
    EXPECT_TRUE(d->picture() == want);
    // The record: saved as the holder's picture (JPEG keeps a flat block within a few
    // levels), deleted with the window closed, the chosen picture, or as it was.
    const bool copied = name.startsWith("p."), deleted = acts.contains('d');
    if (acts.contains('s'))
        EXPECT_NEAR(qGreen(sources::load_picture(record).value_or(QImage()).pixel(37, 37)), qGreen(want.pixel(37, 37)),
                    4);
    else
        EXPECT_EQ(file_bytes(record), deleted           ? QByteArray()
                                      : name == "p.png" ? reference_jpeg(flipped)  // what the host reads
                                      : copied          ? file_bytes(chosen)
                                                        : record_bytes);
    EXPECT_EQ(w->isVisible(), !deleted);
    EXPECT_EQ(d->control<QLabel>("Lb_zoom")->text(), QStringLiteral("+/- %1%").arg(c.percent));
    // A ticked tool draws its first line over the view; unticked, it is gone.
    for (auto [tool, from, colour] :
         {std::tuple(button("test_angle"), 1, qRgb(255, 0, 0)), std::tuple(button("test_long"), 3, qRgb(255, 200, 0))})
        EXPECT_TRUE(!tool->isChecked() ||
                    screenshot().pixel((d->handles()[from] + d->handles()[from + 1]) / 30) == colour);
    if (!deleted && !button("test_angle")->isChecked() && !button("test_long")->isChecked())
        expect_view_shows(want, c.percent / 100.0);
}

INSTANTIATE_TEST_SUITE_P(Actions, View, ::testing::ValuesIn(kCases));

}  // namespace
