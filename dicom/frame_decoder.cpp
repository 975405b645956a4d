#include "frame_decoder.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "codec.h"
#include "dataset.h"
#include "render.h"
#include "sniff.h"

namespace dicom::decoding {

namespace {

using dicom::parse::tag;
using dicom::wire::Status;

std::string trimmed(std::string_view v) {
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.remove_suffix(1);
    return std::string(v);
}

bool is_native(const std::string& ts) {
    return ts == "1.2.840.10008.1.2" || ts == "1.2.840.10008.1.2.1" || ts == "1.2.840.10008.1.2.2" ||
           ts == "1.2.840.10008.1.2.1.99";
}

bool ends_a_codestream(const std::vector<std::uint8_t>& b) {
    std::size_t n = b.size();
    while (n > 0 && b[n - 1] == 0) --n;
    return n >= 2 && b[n - 2] == 0xFF && b[n - 1] == 0xD9;
}

// The first frame's compressed bytes: by the offset table when there is one,
// else one fragment a frame when they match, else up to the first end of image.
std::vector<std::uint8_t> first_frame(const dicom::parse::File& f, long frames) {
    std::vector<std::uint8_t> out;
    const auto& frags = f.fragments;
    const dicom::parse::Span table = frags.front();
    std::size_t stop = frags.size();
    if (frames > 1 && table.size >= 8) {
        const std::uint32_t second = dicom::parse::read32(table.data + 4, dicom::parse::Syntax::explicit_little);
        std::size_t offset = 0;
        for (std::size_t i = 1; i < frags.size(); ++i) {
            if (offset >= second) {
                stop = i;
                break;
            }
            offset += 8 + frags[i].size;
        }
    } else if (frames > 1 && static_cast<long>(frags.size() - 1) == frames) {
        stop = 2;
    }
    for (std::size_t i = 1; i < stop; ++i) {
        out.insert(out.end(), frags[i].data, frags[i].data + frags[i].size);
        if (frames > 1 && table.size < 8 && stop == frags.size() && ends_a_codestream(out)) break;
    }
    return out;
}

std::string own_folder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<std::size_t>(n));
    return p.substr(0, p.rfind('/'));
}

}  // namespace

Reply decode(const std::uint8_t* bytes, std::size_t size, std::int64_t max_pixels, int answer_fd) {
    const bool marked = dicom::has_dicom_mark(bytes, size);
    if (!marked && !dicom::may_be_bare_data_set(bytes, size)) return {Status::not_dicom, ""};
    auto read = dicom::parse::read_file(bytes, size);
    if (!read) return marked ? refused(read.error().reason()) : Reply{Status::not_dicom, ""};
    const dicom::parse::File& file = *read;
    const auto& d = file.data;
    const auto rows = d.us(tag(0x0028, 0x0010)), columns = d.us(tag(0x0028, 0x0011));
    if (!marked && (!rows || !columns || !file.has_pixel_data)) return {Status::not_dicom, ""};
    if (!file.has_pixel_data) return refused("pas d'image dans ce fichier DICOM (aucune donnée de pixels)");
    if (!rows || !columns || *rows == 0 || *columns == 0)
        return refused("fichier DICOM illisible : dimensions de l'image absentes");

    dicom::render::Samples s;
    s.width = *columns;
    s.height = *rows;
    s.samples_per_pixel = d.us(tag(0x0028, 0x0002)).value_or(1);
    s.bits_allocated = d.us(tag(0x0028, 0x0100)).value_or(0);
    s.bits_stored = d.us(tag(0x0028, 0x0101)).value_or(static_cast<std::uint16_t>(s.bits_allocated));
    s.high_bit = d.us(tag(0x0028, 0x0102)).value_or(static_cast<std::uint16_t>(s.bits_stored - 1));
    s.is_signed = d.us(tag(0x0028, 0x0103)).value_or(0) == 1;
    s.planar = d.us(tag(0x0028, 0x0006)).value_or(0) == 1;
    s.big_endian = file.syntax == dicom::parse::Syntax::explicit_big;
    s.photometric = trimmed(d.text(tag(0x0028, 0x0004)).value_or(s.samples_per_pixel == 3 ? "RGB" : "MONOCHROME2"));
    if ((s.samples_per_pixel != 1 && s.samples_per_pixel != 3) || (s.bits_allocated != 8 && s.bits_allocated != 16) ||
        s.bits_stored < 1 || s.bits_stored > s.bits_allocated || s.high_bit < s.bits_stored - 1 ||
        s.high_bit >= s.bits_allocated)
        return refused("format de pixels DICOM non pris en charge (" + std::to_string(s.samples_per_pixel) +
                       " échantillon(s), " + std::to_string(s.bits_allocated) + " bits alloués, " +
                       std::to_string(s.bits_stored) + " bits utilisés)");
    if (std::int64_t{s.width} * s.height > max_pixels)
        return refused("image DICOM trop grande : " + std::to_string(s.width) + " × " + std::to_string(s.height) +
                       " pixels");
    auto display = dicom::render::display_of(d, s.is_signed);
    if (!display) return refused(display.error().reason());

    std::vector<std::uint8_t> aligned;
    DicomCodecPicture decoded{};
    struct Freer {
        DicomCodecPicture* p;
        ~Freer() { std::free(p->data); }
    } freer{&decoded};
    if (is_native(file.transfer_syntax)) {
        if (file.encapsulated) return refused("fichier DICOM illisible : structure incohérente");
        const std::size_t need = dicom::render::frame_bytes(s);
        if (file.native.size < need) return refused("fichier DICOM illisible : les pixels de l'image sont incomplets");
        s.data = file.native.data;
        s.size = need;
        if (reinterpret_cast<std::uintptr_t>(s.data) % 2) {
            aligned.assign(s.data, s.data + need);
            s.data = aligned.data();
        }
    } else {
        if (!file.encapsulated || file.fragments.size() < 2)
            return refused("fichier DICOM illisible : pixels compressés absents ou abîmés");
        // A count that is no number, or below one, stands as one frame, as an
        // absent one does; none is taken past what an integer string holds.
        const auto counts = d.numbers(tag(0x0028, 0x0008));
        const double count = counts.empty() ? 1 : counts[0];
        const long frames = count > 1 ? static_cast<long>(count < 2147483647.0 ? count : 2147483647.0) : 1;
        // A frame in one fragment (the usual case) goes to the codec where it lies.
        std::vector<std::uint8_t> joined;
        dicom::parse::Span frame = file.fragments[1];
        if (file.fragments.size() > 2) {
            joined = first_frame(file, frames);
            frame = {joined.data(), joined.size()};
        }
        const std::string module = own_folder() + "/" + kCodecModule;
        void* lib = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) return {Status::no_codec, dlerror()};
        auto decode_frame = reinterpret_cast<DicomDecodeFrame>(dlsym(lib, "selection_image_dicom_decode_frame"));
        if (!decode_frame) return {Status::no_codec, module};
        const DicomCodecFrame in{file.transfer_syntax.c_str(),
                                 s.width,
                                 s.height,
                                 s.samples_per_pixel,
                                 s.bits_allocated,
                                 s.bits_stored,
                                 s.high_bit,
                                 s.is_signed ? 1 : 0,
                                 s.planar ? 1 : 0,
                                 s.photometric.c_str(),
                                 frame.data,
                                 frame.size};
        const int outcome = decode_frame(&in, &decoded);
        if (outcome == dicom_codec_unknown_syntax)
            return refused("syntaxe de transfert DICOM non prise en charge : " + file.transfer_syntax);
        if (outcome != dicom_codec_decoded) return refused("fichier DICOM illisible : l'image compressée est abîmée");
        s.photometric = trimmed(decoded.photometric);
        s.planar = decoded.planar_configuration == 1;
        s.bits_allocated = decoded.bits_allocated;
        s.bits_stored = decoded.bits_stored;
        s.high_bit = decoded.high_bit;
        s.is_signed = decoded.pixel_representation == 1;
        s.big_endian = false;
        s.data = decoded.data;
        s.size = decoded.size;
        if ((s.bits_allocated != 8 && s.bits_allocated != 16) || s.size < dicom::render::frame_bytes(s))
            return refused("fichier DICOM illisible : l'image décodée est incomplète");
    }

    const std::size_t pixels = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    const std::size_t total = dicom::wire::kHeaderBytes + 4 * pixels;
    if (ftruncate(answer_fd, static_cast<off_t>(total)) != 0) throw std::bad_alloc();
    void* map = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, answer_fd, 0);
    if (map == MAP_FAILED) throw std::bad_alloc();
    auto* base = static_cast<std::uint8_t*>(map);
    auto done = dicom::render::to_bgrx(s, *display, base + dicom::wire::kHeaderBytes);
    munmap(map, total);
    if (!done) return refused(done.error().reason());
    return {Status::picture, "", s.width, s.height};
}

}  // namespace dicom::decoding
