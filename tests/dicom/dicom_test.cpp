// DICOM files written here with GDCM's writer from the test's own pixels, in
// every transfer syntax the helper must open, shown through the helper and
// compared with a plain reference of the display rules; and the files it
// must refuse without harm.
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageWriter.h>
#include <gdcmJPEG2000Codec.h>
#include <gdcmJPEGCodec.h>
#include <gdcmReader.h>
#include <gdcmWriter.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmTrace.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "dicom.h"
#include "picture_helpers.h"
#include "selection_image.h"
#include "test_files.h"
#include "window_driver.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

struct Source {
    const char* name;
    const char* syntax = "1.2.840.10008.1.2.1";
    int width = 64, height = 48, frames = 1, samples = 1, bits_allocated = 16, bits_stored = 12;
    bool is_signed = false;
    const char* photometric = "MONOCHROME2";
    double slope = 1, intercept = 0;
    const char* centers = nullptr;  // as written in the file
    const char* widths = nullptr;
    const char* function = nullptr;
    bool voi_lut = false, inverse = false, palette = false, enhanced = false, overlay_bits = false, flat = false;
    double tolerance = 0;  // mean difference allowed for lossy syntaxes
    std::function<void(Bytes&)> damage = {};
    const char* relabel = nullptr;  // the photometric interpretation written over the writer's
    const char* refusal = nullptr;  // part of the reason expected instead of a picture
    std::int64_t max_pixels = 1 << 24;
    const char* stand_in = nullptr;  // a shell script in the helper's place
    int time_limit_ms = 10000;
    bool probe = false;      // through decode_if_dicom, as the loaders try unrecognised bytes
    bool not_dicom = false;  // which then must say "not DICOM" and nothing more
};

int lowest(const Source& s) { return s.is_signed ? -(1 << (s.bits_stored - 1)) : 0; }
int highest(const Source& s) { return s.is_signed ? (1 << (s.bits_stored - 1)) - 1 : (1 << s.bits_stored) - 1; }

// Smooth (for the lossy codecs) and covering the whole stored range; each frame its own.
int value(const Source& s, int frame, int x, int y, int sample) {
    if (s.flat) return 77;
    const long range = highest(s) - lowest(s);
    return lowest(s) + static_cast<int>((range * (x + 2 * y + 9 * sample + 7 * frame)) /
                                        (s.width + 2 * s.height + 18 + 7 * s.frames));
}

std::vector<std::uint16_t> voi_table() {
    std::vector<std::uint16_t> t(3000);
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<std::uint16_t>((i * i) % 65536 / 16);
    return t;
}
constexpr int kVoiFirst = 500;
std::uint16_t palette_entry(int channel, int i) {
    return static_cast<std::uint16_t>((i * (40 + 90 * channel) + 31 * channel) * 37 % 65536);
}

// ---- the reference: the display rules, pixel by pixel ----
long double level(long double y) { return std::clamp(std::floor(y + 0.5L), 0.0L, 255.0L); }

std::vector<std::uint32_t> reference(const Source& s) {
    std::vector<std::uint32_t> out;
    std::vector<long double> xs;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) xs.push_back(s.slope * value(s, 0, x, y, 0) + s.intercept);
    const long double lo = *std::min_element(xs.begin(), xs.end()), hi = *std::max_element(xs.begin(), xs.end());
    const long double c =
        s.centers ? std::stold(std::string(s.centers).substr(std::string(s.centers).rfind('\\') + 1)) : 0;
    const long double w =
        s.widths ? std::stold(std::string(s.widths).substr(std::string(s.widths).rfind('\\') + 1)) : 0;
    const std::string f = s.function ? s.function : "LINEAR";
    const auto table = voi_table();
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            long double r, g, b;
            if (s.palette) {
                const int v = value(s, 0, x, y, 0);
                r = palette_entry(0, v) >> 8, g = palette_entry(1, v) >> 8, b = palette_entry(2, v) >> 8;
            } else if (s.samples == 3) {
                const long double c0 = value(s, 0, x, y, 0), c1 = value(s, 0, x, y, 1), c2 = value(s, 0, x, y, 2);
                if (std::string(s.photometric) == "RGB") {
                    r = c0, g = c1, b = c2;
                } else {
                    r = level(c0 + 1.402L * (c2 - 128));
                    g = level(c0 - 0.344136L * (c1 - 128) - 0.714136L * (c2 - 128));
                    b = level(c0 + 1.772L * (c1 - 128));
                }
            } else {
                const long double v = xs[static_cast<std::size_t>(y * s.width + x)];
                long double grey;
                if (s.voi_lut) {
                    const long i = std::clamp(std::lround(v) - kVoiFirst, 0L, static_cast<long>(table.size()) - 1);
                    grey = level(table[static_cast<std::size_t>(i)] * 255.0L / 65535);
                } else if (s.centers && f == "LINEAR") {
                    grey = v <= c - 0.5L - (w - 1) / 2  ? 0
                           : v > c - 0.5L + (w - 1) / 2 ? 255
                                                        : level(((v - (c - 0.5L)) / (w - 1) + 0.5L) * 255);
                } else if (s.centers && f == "LINEAR_EXACT") {
                    grey = v <= c - w / 2 ? 0 : v > c + w / 2 ? 255 : level(((v - c) / w + 0.5L) * 255);
                } else if (s.centers) {
                    grey = level(255 / (1 + std::exp(-4 * (v - c) / w)));
                } else if (s.bits_stored > 8) {
                    grey = hi > lo ? level((v - lo) / (hi - lo) * 255) : 128;
                } else {
                    grey = level(v);
                }
                if (s.inverse || std::string(s.photometric) == "MONOCHROME1") grey = 255 - grey;
                r = g = b = grey;
            }
            out.push_back(0xFF000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
                          static_cast<std::uint32_t>(b));
        }
    return out;
}

// ---- the writer ----
gdcm::DataElement element(std::uint16_t g, std::uint16_t e, gdcm::VR vr, std::string v) {
    if (v.size() % 2) v += vr == gdcm::VR::UI ? '\0' : ' ';
    gdcm::DataElement de(gdcm::Tag(g, e));
    de.SetVR(vr);
    de.SetByteValue(v.data(), static_cast<gdcm::VL::Type>(v.size()));
    return de;
}

std::string words(const std::vector<std::uint16_t>& w) {
    std::string b;
    for (auto v : w) b += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    return b;
}

gdcm::DataElement sequence(std::uint16_t g, std::uint16_t e, const std::vector<gdcm::DataSet>& items) {
    gdcm::SmartPointer<gdcm::SequenceOfItems> sq = new gdcm::SequenceOfItems;
    sq->SetLengthToUndefined();
    for (const auto& ds : items) {
        gdcm::Item item;
        item.SetNestedDataSet(ds);
        sq->AddItem(item);
    }
    gdcm::DataElement de(gdcm::Tag(g, e));
    de.SetVR(gdcm::VR::SQ);
    de.SetValue(*sq);
    de.SetVLToUndefined();
    return de;
}

gdcm::DataSet window_item(const char* c, const char* w) {
    gdcm::DataSet ds;
    ds.Replace(element(0x0028, 0x1050, gdcm::VR::DS, c));
    ds.Replace(element(0x0028, 0x1051, gdcm::VR::DS, w));
    return ds;
}

Bytes write(const Source& s) {
    gdcm::Trace::WarningOff();
    std::string pixels;
    const int mask = (1 << s.bits_stored) - 1;
    for (int f = 0; f < s.frames; ++f)
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                for (int k = 0; k < s.samples; ++k) {
                    // Overlay bits above the stored ones must not show.
                    const int raw = (value(s, f, x, y, k) & mask) | (s.overlay_bits ? 0xA000 : 0);
                    pixels += static_cast<char>(raw & 0xFF);
                    if (s.bits_allocated == 16) pixels += static_cast<char>(raw >> 8);
                }
    gdcm::ImageWriter writer;
    gdcm::Image& image = writer.GetImage();
    image.SetNumberOfDimensions(s.frames > 1 ? 3 : 2);
    image.SetDimension(0, static_cast<unsigned>(s.width));
    image.SetDimension(1, static_cast<unsigned>(s.height));
    if (s.frames > 1) image.SetDimension(2, static_cast<unsigned>(s.frames));
    image.SetPixelFormat(gdcm::PixelFormat(static_cast<unsigned short>(s.samples),
                                           static_cast<unsigned short>(s.bits_allocated),
                                           static_cast<unsigned short>(s.bits_stored),
                                           static_cast<unsigned short>(s.bits_stored - 1), s.is_signed ? 1 : 0));
    image.SetPhotometricInterpretation(
        gdcm::PhotometricInterpretation::GetPIType(s.palette ? "PALETTE COLOR" : s.photometric));
    image.SetSlope(s.slope);
    image.SetIntercept(s.intercept);
    gdcm::DataElement px(gdcm::Tag(0x7fe0, 0x0010));
    px.SetVR(s.bits_allocated == 8 ? gdcm::VR::OB : gdcm::VR::OW);
    px.SetByteValue(pixels.data(), static_cast<gdcm::VL::Type>(pixels.size()));
    image.SetDataElement(px);
    image.SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    if (s.palette) {
        // A stand-in the image writer insists on; the real 16-bit palette replaces it below.
        gdcm::SmartPointer<gdcm::LookupTable> lut = new gdcm::LookupTable;
        lut->Allocate(8);
        const std::string grey(256, '\x80');
        for (int k = 0; k < 3; ++k) {
            const auto type = static_cast<gdcm::LookupTable::LookupTableType>(k);
            lut->InitializeLUT(type, 256, 0, 8);
            lut->SetLUT(type, reinterpret_cast<const unsigned char*>(grey.data()), 256);
        }
        image.SetLUT(*lut);
    }
    const gdcm::TransferSyntax ts = gdcm::TransferSyntax::GetTSType(s.syntax);
    if (ts.IsEncapsulated() || ts == gdcm::TransferSyntax::ExplicitVRBigEndian) {
        gdcm::ImageChangeTransferSyntax change;
        change.SetTransferSyntax(ts);
        change.SetInput(image);
        gdcm::JPEGCodec jpeg;
        gdcm::JPEG2000Codec j2k;
        if (s.tolerance > 0 && ts == gdcm::TransferSyntax::JPEG2000) {
            j2k.SetRate(0, 10);
            change.SetUserCodec(&j2k);
        } else if (s.tolerance > 0) {
            jpeg.SetLossless(false);
            jpeg.SetQuality(95);
            change.SetUserCodec(&jpeg);
        }
        EXPECT_TRUE(change.Change()) << s.name;
        writer.SetImage(change.GetOutput());
    } else {
        image.SetTransferSyntax(ts);
    }
    std::ostringstream first;
    writer.SetStream(first);
    EXPECT_TRUE(writer.Write()) << s.name;
    // The attributes the image writer knows nothing of, added to what it wrote.
    std::istringstream in(first.str());
    gdcm::Reader reader;
    reader.SetStream(in);
    EXPECT_TRUE(reader.Read()) << s.name;
    gdcm::DataSet& ds = reader.GetFile().GetDataSet();
    if (s.centers && !s.enhanced) ds.Replace(element(0x0028, 0x1050, gdcm::VR::DS, s.centers));
    if (s.widths && !s.enhanced) ds.Replace(element(0x0028, 0x1051, gdcm::VR::DS, s.widths));
    if (s.function) ds.Replace(element(0x0028, 0x1056, gdcm::VR::CS, s.function));
    if (s.inverse) ds.Replace(element(0x2050, 0x0020, gdcm::VR::CS, "INVERSE"));
    if (s.voi_lut) {
        gdcm::DataSet lut;
        lut.Insert(element(0x0028, 0x3002, gdcm::VR::US, words({3000, kVoiFirst, 16})));
        lut.Insert(element(0x0028, 0x3006, gdcm::VR::OW, words(voi_table())));
        ds.Replace(sequence(0x0028, 0x3010, {lut}));
        ds.Replace(element(0x0028, 0x1050, gdcm::VR::DS, "10"));  // the LUT comes first
        ds.Replace(element(0x0028, 0x1051, gdcm::VR::DS, "20"));
    }
    if (s.enhanced) {
        // The first frame's own window wins over the shared one and the data set's.
        std::vector<gdcm::DataSet> frames;
        for (int f = 0; f < s.frames; ++f) {
            gdcm::DataSet group;
            group.Insert(sequence(0x0028, 0x9132, {f == 0 ? window_item(s.centers, s.widths) : window_item("1", "2")}));
            frames.push_back(group);
        }
        ds.Replace(sequence(0x5200, 0x9230, frames));
        gdcm::DataSet shared;
        shared.Insert(sequence(0x0028, 0x9132, {window_item("3", "4")}));
        ds.Replace(sequence(0x5200, 0x9229, {shared}));
        ds.Replace(element(0x0028, 0x1050, gdcm::VR::DS, "5"));
        ds.Replace(element(0x0028, 0x1051, gdcm::VR::DS, "6"));
    }
    if (s.relabel) ds.Replace(element(0x0028, 0x0004, gdcm::VR::CS, s.relabel));
    if (s.palette)
        for (std::uint16_t k = 0; k < 3; ++k) {
            std::vector<std::uint16_t> entries(256);
            for (int i = 0; i < 256; ++i) entries[static_cast<std::size_t>(i)] = palette_entry(k, i);
            ds.Replace(element(0x0028, static_cast<std::uint16_t>(0x1101 + k), gdcm::VR::US, words({256, 0, 16})));
            ds.Replace(element(0x0028, static_cast<std::uint16_t>(0x1201 + k), gdcm::VR::OW, words(entries)));
        }
    std::ostringstream os;
    gdcm::Writer again;
    again.SetFile(reader.GetFile());
    again.SetStream(os);
    EXPECT_TRUE(again.Write()) << s.name;
    Bytes bytes = os.str();
    if (s.damage) s.damage(bytes);
    return bytes;
}

void cut_at_pixels(Bytes& b) { b.resize(b.rfind(std::string("\xE0\x7F\x10\x00", 4))); }

// clang-format off
const Source kRows[] = {
    {.name = "explicit_window_overlay_bits", .centers = "100\\2000.5", .widths = "0\\3001", .overlay_bits = true},
    {.name = "implicit_no_window_spread", .syntax = "1.2.840.10008.1.2"},
    {.name = "big_endian_signed_rescaled", .syntax = "1.2.840.10008.1.2.2", .bits_stored = 16, .is_signed = true,
     .slope = 2, .intercept = -100, .centers = "-3000", .widths = "70000"},
    {.name = "deflated_voi_lut", .syntax = "1.2.840.10008.1.2.1.99", .voi_lut = true},
    {.name = "rle_monochrome1", .syntax = "1.2.840.10008.1.2.5", .photometric = "MONOCHROME1", .centers = "1500", .widths = "2500"},
    {.name = "jpeg_lossless_8bit", .syntax = "1.2.840.10008.1.2.4.70", .bits_allocated = 8, .bits_stored = 8},
    {.name = "jpegls_sigmoid", .syntax = "1.2.840.10008.1.2.4.80", .centers = "2000", .widths = "1500", .function = "SIGMOID"},
    {.name = "j2k_linear_exact_inverse", .syntax = "1.2.840.10008.1.2.4.90", .centers = "1800", .widths = "2400",
     .function = "LINEAR_EXACT", .inverse = true},
    {.name = "rgb", .samples = 3, .bits_allocated = 8, .bits_stored = 8, .photometric = "RGB"},
    {.name = "ybr_full", .samples = 3, .bits_allocated = 8, .bits_stored = 8, .photometric = "YBR_FULL"},
    {.name = "ybr_full_rle", .syntax = "1.2.840.10008.1.2.5", .samples = 3, .bits_allocated = 8, .bits_stored = 8, .photometric = "YBR_FULL"},
    {.name = "palette", .bits_allocated = 8, .bits_stored = 8, .palette = true},
    {.name = "flat_mid_grey", .flat = true},
    {.name = "multiframe_enhanced_jpegls", .syntax = "1.2.840.10008.1.2.4.80", .frames = 3, .centers = "700", .widths = "900",
     .enhanced = true},
    {.name = "multiframe_native", .frames = 2, .bits_stored = 10},
    {.name = "j2k_lossy", .syntax = "1.2.840.10008.1.2.4.91", .centers = "2048", .widths = "4096", .tolerance = 2},
    {.name = "jpeg_baseline", .syntax = "1.2.840.10008.1.2.4.50", .bits_allocated = 8, .bits_stored = 8, .tolerance = 2},
    {.name = "jpeg_baseline_colour", .syntax = "1.2.840.10008.1.2.4.50", .samples = 3, .bits_allocated = 8, .bits_stored = 8,
     .photometric = "RGB", .tolerance = 3},
    {.name = "jpeg_baseline_ybr_422", .syntax = "1.2.840.10008.1.2.4.50", .samples = 3, .bits_allocated = 8, .bits_stored = 8,
     .photometric = "RGB", .tolerance = 3, .relabel = "YBR_FULL_422"},
    {.name = "jpeg_lossless_rgb", .syntax = "1.2.840.10008.1.2.4.70", .samples = 3, .bits_allocated = 8, .bits_stored = 8, .photometric = "RGB"},
    {.name = "jpeg_extended_12bit", .syntax = "1.2.840.10008.1.2.4.51", .centers = "2048", .widths = "4096", .tolerance = 2},
    {.name = "too_large", .refusal = "trop grande", .max_pixels = 64 * 47},
    {.name = "no_pixel_data", .damage = cut_at_pixels, .refusal = "aucune donnée de pixels"},
    {.name = "cut_short", .damage = [](Bytes& b) { b.resize(b.size() - 100); }, .refusal = "tronqué"},
    {.name = "garbage_after_mark", .damage = [](Bytes& b) { for (std::size_t i = 132; i < b.size(); ++i) b[i] = static_cast<char>(i * 7919 >> 3); },
     .refusal = "fichier DICOM illisible"},
    {.name = "codec_abort", .syntax = "1.2.840.10008.1.2.4.51", .centers = "2048", .widths = "4096", .tolerance = 2,
     .damage = [](Bytes& b) { b[b.rfind(std::string("\xE0\x7F\x10\x00", 4)) + 135] = '\xCA'; }, .refusal = "s'est arrêté"},
    {.name = "time_limit", .refusal = "a dépassé 0,3 s", .stand_in = "exec sleep 20", .time_limit_ms = 300},
    {.name = "helper_missing", .refusal = "décodeur DICOM absent", .stand_in = ""},
    {.name = "bare_data_set", .damage = [](Bytes& b) { b.erase(0, 132); }, .probe = true},
    {.name = "not_dicom", .damage = [](Bytes& b) { b = std::string("\x89PNG\r\n\x1A\n") + std::string(300, '\0'); }, .probe = true, .not_dicom = true},
    {.name = "unknown_syntax", .syntax = "1.2.840.10008.1.2.4.90",
     .damage = [](Bytes& b) { b.replace(b.find("1.2.840.10008.1.2.4.90"), 22, "1.2.840.10008.1.2.4.99"); },
     .refusal = "non prise en charge : 1.2.840.10008.1.2.4.99"},
};
// clang-format on

class Rows : public ::testing::TestWithParam<Source> {};

// The helper's private folders go into a temporary folder of these tests'
// own, where no other program's come and go.
const std::string kTemporary = [] {
    std::string folder = (fs::temp_directory_path() / "dicom_tests.XXXXXX").string();
    if (::mkdtemp(folder.data())) ::setenv("TMPDIR", folder.c_str(), 1);
    return folder;
}();
struct RemoveTemporary : ::testing::Environment {
    void TearDown() override { fs::remove_all(kTemporary); }
};
::testing::Environment* const kRemoveTemporary = ::testing::AddGlobalTestEnvironment(new RemoveTemporary);

std::vector<fs::path> private_folders() {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
        if (e.path().filename().string().rfind("selection_image_dicom.", 0) == 0) found.push_back(e.path());
    return found;
}

TEST_P(Rows, ShowsWhatTheFileAsksFor) {
    const Source& s = GetParam();
    const Bytes bytes = write(s);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const fs::path scratch = fs::path(TEST_RUNTIME_DIR) / "dicom";
    fs::create_directories(scratch);
    if (s.stand_in) {
        const fs::path script = scratch / "stand_in.sh";
        if (*s.stand_in) std::ofstream(script) << "#!/bin/sh\n" << s.stand_in << "\n";
        fs::permissions(scratch, fs::perms::owner_all);
        if (*s.stand_in) fs::permissions(script, fs::perms::owner_all);
        dicom::set_helper_settings(
            {*s.stand_in ? script.string() : (scratch / "none").string(), std::chrono::milliseconds(s.time_limit_ms)});
    }
    const auto before = private_folders();
    const auto started = std::chrono::steady_clock::now();
    core::Result<dicom::Picture> r = core::fail("?");
    if (s.probe) {
        auto maybe = dicom::decode_if_dicom(data, bytes.size(), s.max_pixels);
        ASSERT_TRUE(maybe) << maybe.error().reason();
        ASSERT_EQ(maybe->has_value(), !s.not_dicom) << s.name;
        if (s.not_dicom) return;
        r = **maybe;
    } else {
        r = dicom::decode_dicom(data, bytes.size(), s.max_pixels);
    }
    dicom::set_helper_settings({});
    // Nothing left behind, however it ended, and no waiting past the limit.
    EXPECT_EQ(private_folders(), before) << s.name;
    EXPECT_LT(std::chrono::steady_clock::now() - started,
              std::chrono::milliseconds(s.time_limit_ms) + std::chrono::seconds(1));
    if (s.refusal) {
        ASSERT_FALSE(r) << s.name;
        EXPECT_NE(r.error().reason().find(s.refusal), std::string::npos) << r.error().reason();
        return;
    }
    ASSERT_TRUE(r) << r.error().reason();
    dicom::Picture p = *r;
    ASSERT_EQ(p.width, s.width);
    ASSERT_EQ(p.height, s.height);
    const auto want = reference(s);
    double total = 0;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            std::uint32_t got;
            std::memcpy(&got, p.data + y * p.stride + 4 * x, 4);
            const std::uint32_t w = want[static_cast<std::size_t>(y * s.width + x)];
            for (int shift = 0; shift < 32; shift += 8)
                total += std::abs(static_cast<int>(got >> shift & 0xFF) - static_cast<int>(w >> shift & 0xFF));
            if (s.tolerance == 0) {
                ASSERT_EQ(got, w) << s.name << " at " << x << "," << y;
            }
        }
    EXPECT_LE(total / (3.0 * s.width * s.height), s.tolerance) << s.name;
    dicom::release(p);
}

INSTANTIATE_TEST_SUITE_P(Dicom, Rows, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// With SEEDS_FOLDER set, the rows' files are written there, as the first
// inputs of the helper's fuzz target, and nothing is tested.
TEST(DicomSeeds, WrittenForTheFuzzTarget) {
    const char* folder = std::getenv("SEEDS_FOLDER");
    if (!folder) GTEST_SKIP() << "for the fuzz test";
    for (const Source& s : kRows) std::ofstream(fs::path(folder) / s.name, std::ios::binary) << write(s);
}

// A radiograph dropped on the window is shown as the file asks, and becomes
// the record as the JPEG of what is shown, which the record's host reads.
TEST(DicomWindow, DroppedRadiographIsShownAndBecomesTheRecordsJpeg) {
    static int argc = 1;
    static char name[] = "dicom_tests", *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    const Source s{.name = "dropped", .syntax = "1.2.840.10008.1.2.4.80", .centers = "2000", .widths = "3000"};
    const QString folder = QString::fromStdString(kTemporary), record = folder + "/1.jpg";
    std::ofstream(kTemporary + "/sensor.dcm", std::ios::binary) << write(s);
    std::vector<QString> said;
    app::WindowDialogs dialogs;
    dialogs.inform = [&](QWidget*, const QString& text, QMessageBox::Icon) { said.push_back(text); };
    app::selection_image w(record, folder, dialogs);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder + "/sensor.dcm")});
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);  // a drop only follows an accepted entry
    QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    const auto want = reference(s);
    const QImage shown = app::WindowDriver(w).picture();
    ASSERT_EQ(shown.size(), QSize(s.width, s.height)) << (said.empty() ? "" : said[0].toStdString());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), reinterpret_cast<const std::uint32_t*>(shown.constBits())));
    EXPECT_TRUE(file_bytes(record) == reference_jpeg(shown) && said.empty());
}

}  // namespace
