// Opening a 3000 x 3000 16-bit radiograph with a window, uncompressed and
// JPEG-LS, through the helper process (its start, the decode, the display
// rules and the hand-over of the picture included), against GDCM's own
// decode of the same file into a buffer in this process.
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageReader.h>
#include <gdcmImageWriter.h>
#include <gdcmTrace.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench_support.h"
#include "dicom.h"

namespace {

constexpr int kSide = 3000;

// The grey radiograph spread over 12 bits, its lowest bits from its grain.
std::string write_file(const gdcm::TransferSyntax& ts) {
    const QImage grey = bench::radiograph(kSide, kSide);
    std::string pixels(2u * kSide * kSide, '\0');
    std::uint32_t seed = 7;
    for (int y = 0; y < kSide; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(grey.constScanLine(y));
        for (int x = 0; x < kSide; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const std::uint32_t v = (row[x] & 0xFF) << 4 | seed >> 28;
            pixels[2u * (static_cast<std::size_t>(y) * kSide + static_cast<std::size_t>(x))] =
                static_cast<char>(v & 0xFF);
            pixels[2u * (static_cast<std::size_t>(y) * kSide + static_cast<std::size_t>(x)) + 1] =
                static_cast<char>(v >> 8);
        }
    }
    gdcm::ImageWriter writer;
    gdcm::Image& image = writer.GetImage();
    image.SetNumberOfDimensions(2);
    image.SetDimension(0, kSide);
    image.SetDimension(1, kSide);
    image.SetPixelFormat(gdcm::PixelFormat(1, 16, 12, 11, 0));
    image.SetPhotometricInterpretation(gdcm::PhotometricInterpretation::MONOCHROME2);
    gdcm::DataElement px(gdcm::Tag(0x7fe0, 0x0010));
    px.SetVR(gdcm::VR::OW);
    px.SetByteValue(pixels.data(), static_cast<gdcm::VL::Type>(pixels.size()));
    image.SetDataElement(px);
    image.SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    gdcm::ImageChangeTransferSyntax change;
    if (ts != gdcm::TransferSyntax::ExplicitVRLittleEndian) {
        change.SetTransferSyntax(ts);
        change.SetInput(image);
        if (!change.Change()) throw std::runtime_error("GDCM could not compress the picture");
        writer.SetImage(change.GetOutput());
    }
    for (auto [element, text] : {std::pair{0x1050, "2000"}, std::pair{0x1051, "3000"}}) {
        gdcm::DataElement de(gdcm::Tag(0x0028, static_cast<std::uint16_t>(element)));
        de.SetVR(gdcm::VR::DS);
        de.SetByteValue(text, 4);
        writer.GetFile().GetDataSet().Replace(de);
    }
    const std::string path = std::filesystem::temp_directory_path().string() + "/dicom_bench_" +
                             std::to_string(getpid()) + "_" + ts.GetString() + ".dcm";
    writer.SetFileName(path.c_str());
    if (!writer.Write()) throw std::runtime_error("GDCM could not write " + path);
    return path;
}

void Open(benchmark::State& state, const char* label, gdcm::TransferSyntax::TSType type, bool from_bytes) {
    gdcm::Trace::WarningOff();
    const std::string path = write_file(type);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<char> buffer(2u * kSide * kSide, 1);
    auto gdcm_decode = [&] {
        gdcm::ImageReader reader;
        reader.SetFileName(path.c_str());
        if (!reader.Read() || !reader.GetImage().GetBuffer(buffer.data())) state.SkipWithError("GDCM failed");
        benchmark::DoNotOptimize(buffer.data());
    };
    auto ours = [&] {
        auto r = from_bytes ? dicom::decode_dicom(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                                  std::int64_t{kSide} * kSide)
                            : dicom::decode_dicom_file(path, std::int64_t{kSide} * kSide);
        if (!r) {
            state.SkipWithError(r.error().reason().c_str());
            return;
        }
        dicom::Picture p = *r;
        dicom::release(p);
    };
    bench::compare(state, std::string(from_bytes ? "decode_dicom " : "decode_dicom_file ") + label, "GDCM in-process",
                   gdcm_decode, ours);
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
    using gdcm::TransferSyntax;
    bench::add("uncompressed/file", 15, Open, "uncompressed", TransferSyntax::ExplicitVRLittleEndian, false);
    bench::add("uncompressed/bytes", 15, Open, "uncompressed", TransferSyntax::ExplicitVRLittleEndian, true);
    bench::add("jpeg-ls/file", 7, Open, "JPEG-LS", TransferSyntax::JPEGLSLossless, false);
    bench::add("jpeg-ls/bytes", 7, Open, "JPEG-LS", TransferSyntax::JPEGLSLossless, true);
    return bench::run_and_summarise(argc, argv);
}
