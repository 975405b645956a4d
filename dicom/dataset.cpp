#include "dataset.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <cmath>

namespace dicom::parse {

namespace {

constexpr std::uint32_t kItem = tag(0xFFFE, 0xE000);
constexpr std::uint32_t kItemEnd = tag(0xFFFE, 0xE00D);
constexpr std::uint32_t kSequenceEnd = tag(0xFFFE, 0xE0DD);
constexpr std::uint32_t kPixelData = tag(0x7FE0, 0x0010);
constexpr std::uint32_t kUndefined = 0xFFFFFFFFu;
// Deeper nesting than any real file has; it keeps a forged one off the stack's end.
constexpr int kMaxDepth = 12;

const char* const kCutShort = "fichier DICOM illisible : il est tronqué";
const char* const kMalformed = "fichier DICOM illisible : structure incohérente";

bool is_vr(const std::uint8_t* p) {
    static constexpr const char* known[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS", "LO", "LT",
                                            "OB", "OD", "OF", "OL", "OV", "OW", "PN", "SH", "SL", "SQ", "SS", "ST",
                                            "SV", "TM", "UC", "UI", "UL", "UN", "UR", "US", "UT", "UV"};
    return std::any_of(std::begin(known), std::end(known), [&](const char* v) { return p[0] == v[0] && p[1] == v[1]; });
}

// VRs whose length takes four bytes after two reserved ones.
bool long_vr(const char* v) {
    static constexpr const char* longs[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                            "UC", "UN", "UR", "UT", "SV", "UV"};
    return std::any_of(std::begin(longs), std::end(longs), [&](const char* l) { return v[0] == l[0] && v[1] == l[1]; });
}

struct Cursor {
    const std::uint8_t* base;
    std::size_t end;
    std::size_t pos;
    Syntax syntax;
};

struct Header {
    std::uint32_t tag;
    char vr[2];
    std::uint32_t length;
    Syntax inner;  // the syntax of what an undefined length encloses
};

core::Result<Header> read_header(Cursor& c) {
    if (c.end - c.pos < 8) return core::fail(kCutShort);
    const std::uint8_t* p = c.base + c.pos;
    Header h{std::uint32_t{read16(p, c.syntax)} << 16 | read16(p + 2, c.syntax), {' ', ' '}, 0, c.syntax};
    if (h.tag >> 16 == 0xFFFE || c.syntax == Syntax::implicit_little) {
        h.length = read32(p + 4, c.syntax);
        c.pos += 8;
        return h;
    }
    if (!is_vr(p + 4)) return core::fail(kMalformed);
    h.vr[0] = static_cast<char>(p[4]);
    h.vr[1] = static_cast<char>(p[5]);
    if (long_vr(h.vr)) {
        if (c.end - c.pos < 12) return core::fail(kCutShort);
        h.length = read32(p + 8, c.syntax);
        c.pos += 12;
        // What an unknown element of undefined length holds is written implicitly.
        if (h.vr[0] == 'U' && h.vr[1] == 'N') h.inner = Syntax::implicit_little;
    } else {
        h.length = read16(p + 6, c.syntax);
        c.pos += 8;
    }
    return h;
}

core::Result<void> skip_items(Cursor& c, int depth, std::vector<Span>* items);

// Reads elements up to the cursor's end or an item's end mark. At the top
// level it stops at the pixel data, which `file` then describes.
core::Result<void> read_elements(Cursor& c, int depth, DataSet& out, File* file) {
    if (depth > kMaxDepth) return core::fail(kMalformed);
    while (c.pos < c.end) {
        auto h = read_header(c);
        if (!h) return core::fail(h.error());
        if (h->tag == kItemEnd) return {};
        if (h->tag >> 16 == 0xFFFE) return core::fail(kMalformed);
        const std::size_t start = c.pos;
        if (file && h->tag == kPixelData) {
            file->has_pixel_data = true;
            if (h->length == kUndefined) {
                file->encapsulated = true;
                Cursor frag{c.base, c.end, c.pos, c.syntax};
                return skip_items(frag, depth + 1, &file->fragments);
            }
            if (h->length > c.end - start) return core::fail(kCutShort);
            file->native = {c.base + start, h->length};
            return {};
        }
        if (h->length == kUndefined) {
            Cursor inner{c.base, c.end, c.pos, h->inner};
            auto r = skip_items(inner, depth + 1, nullptr);
            if (!r) return r;
            // The value spans the items; the sequence's end mark (8 bytes) follows.
            out.elements.push_back({h->tag, {h->vr[0], h->vr[1]}, {c.base + start, inner.pos - 8 - start}, h->inner});
            c.pos = inner.pos;
            continue;
        }
        if (h->length > c.end - start) return core::fail(kCutShort);
        out.elements.push_back({h->tag, {h->vr[0], h->vr[1]}, {c.base + start, h->length}, c.syntax});
        c.pos = start + h->length;
    }
    return {};
}

// Walks the items of a sequence (or the fragments of pixel data) up to its
// end mark or the cursor's end, leaving the cursor after them.
core::Result<void> skip_items(Cursor& c, int depth, std::vector<Span>* items) {
    if (depth > kMaxDepth) return core::fail(kMalformed);
    while (c.pos < c.end) {
        auto h = read_header(c);
        if (!h) return core::fail(h.error());
        if (h->tag == kSequenceEnd) return {};
        if (h->tag != kItem) return core::fail(kMalformed);
        if (h->length == kUndefined) {
            if (items) return core::fail(kMalformed);  // fragments always have a length
            DataSet ignored;
            auto r = read_elements(c, depth + 1, ignored, nullptr);
            if (!r) return r;
            continue;
        }
        if (h->length > c.end - c.pos) return core::fail(kCutShort);
        if (items) items->push_back({c.base + c.pos, h->length});
        c.pos += h->length;
    }
    // What has no length must end with its mark.
    return core::fail(kCutShort);
}

std::string_view trimmed(Span s) {
    std::string_view v(reinterpret_cast<const char*>(s.data), s.size);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.remove_suffix(1);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    return v;
}

core::Result<std::vector<std::uint8_t>> inflate_rest(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out(std::max<std::size_t>(size * 4, 1 << 16));
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    z.next_in = const_cast<std::uint8_t*>(data);
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(size, 0x7FFFFFFF));
    std::size_t done = 0;
    while (true) {
        if (done == out.size()) out.resize(out.size() * 2);
        z.next_out = out.data() + done;
        z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - done, 1u << 30));
        const int rc = inflate(&z, Z_NO_FLUSH);
        done = static_cast<std::size_t>(z.next_out - out.data());
        if (rc == Z_STREAM_END) break;
        if (rc == Z_OK || (rc == Z_BUF_ERROR && z.avail_out == 0)) continue;
        inflateEnd(&z);
        if (rc == Z_MEM_ERROR) throw std::bad_alloc();
        if (rc == Z_BUF_ERROR) return core::fail(kCutShort);
        return core::fail("fichier DICOM illisible : données compressées (deflate) abîmées");
    }
    inflateEnd(&z);
    out.resize(done);
    return out;
}

}  // namespace

std::uint16_t read16(const std::uint8_t* p, Syntax s) {
    return s == Syntax::explicit_big ? static_cast<std::uint16_t>(p[0] << 8 | p[1])
                                     : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}

std::uint32_t read32(const std::uint8_t* p, Syntax s) {
    return s == Syntax::explicit_big ? std::uint32_t{read16(p, s)} << 16 | read16(p + 2, s)
                                     : std::uint32_t{read16(p + 2, s)} << 16 | read16(p, s);
}

const Element* DataSet::find(std::uint32_t t) const {
    for (const auto& e : elements)
        if (e.tag == t) return &e;
    return nullptr;
}

std::optional<std::string_view> DataSet::text(std::uint32_t t) const {
    const Element* e = find(t);
    if (!e) return std::nullopt;
    return trimmed(e->value);
}

std::optional<std::uint16_t> DataSet::us(std::uint32_t t, std::size_t index) const {
    const Element* e = find(t);
    if (!e || e->value.size < 2 * (index + 1)) return std::nullopt;
    return read16(e->value.data + 2 * index, e->syntax);
}

std::vector<double> DataSet::numbers(std::uint32_t t) const {
    std::vector<double> out;
    const auto all = text(t);
    if (!all) return out;
    std::string_view rest = *all;
    while (true) {
        const std::size_t cut = rest.find('\\');
        std::string_view one = rest.substr(0, cut);
        while (!one.empty() && one.front() == ' ') one.remove_prefix(1);
        while (!one.empty() && one.back() == ' ') one.remove_suffix(1);
        if (!one.empty() && one.front() == '+') one.remove_prefix(1);
        double v = 0;
        const auto [end, ec] = std::from_chars(one.data(), one.data() + one.size(), v);
        // A value that is no number stands as not a number, keeping the others' places.
        out.push_back(ec == std::errc() && end == one.data() + one.size() && !one.empty() ? v : std::nan(""));
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return out;
}

std::vector<DataSet> DataSet::items(std::uint32_t t) const {
    std::vector<DataSet> out;
    const Element* e = find(t);
    if (!e) return out;
    Cursor c{e->value.data, e->value.size, 0, e->syntax};
    std::vector<Span> spans;
    // An item of undefined length is read where it stands; one with a length, afterwards.
    while (c.pos < c.end) {
        auto h = read_header(c);
        if (!h || h->tag != kItem) return {};
        DataSet item;
        if (h->length == kUndefined) {
            if (!read_elements(c, 1, item, nullptr)) return {};
        } else {
            if (h->length > c.end - c.pos) return {};
            Cursor inner{c.base, c.pos + h->length, c.pos, c.syntax};
            if (!read_elements(inner, 1, item, nullptr)) return {};
            c.pos += h->length;
        }
        out.push_back(std::move(item));
    }
    return out;
}

core::Result<File> read_file(const std::uint8_t* bytes, std::size_t size) {
    File file;
    std::size_t pos = 0;
    if (size >= 132 && std::memcmp(bytes + 128, "DICM", 4) == 0) pos = 132;
    // The meta information group, always explicit little endian.
    Cursor meta{bytes, size, pos, Syntax::explicit_little};
    DataSet meta_set;
    while (meta.end - meta.pos >= 8 && read16(bytes + meta.pos, Syntax::explicit_little) == 0x0002) {
        auto h = read_header(meta);
        if (!h) return core::fail(h.error());
        if (h->length == kUndefined || h->length > meta.end - meta.pos) return core::fail(kCutShort);
        meta_set.elements.push_back({h->tag, {h->vr[0], h->vr[1]}, {bytes + meta.pos, h->length}, meta.syntax});
        meta.pos += h->length;
    }
    pos = meta.pos;
    if (auto ts = meta_set.text(tag(0x0002, 0x0010))) {
        file.transfer_syntax = std::string(*ts);
    } else {
        // No meta information: the data set says by its first element whether its VRs are written.
        if (size - pos < 8) return core::fail(kCutShort);
        file.transfer_syntax = is_vr(bytes + pos + 4) ? "1.2.840.10008.1.2.1" : "1.2.840.10008.1.2";
    }
    const std::string& ts = file.transfer_syntax;
    const std::uint8_t* body = bytes + pos;
    std::size_t body_size = size - pos;
    if (ts == "1.2.840.10008.1.2") {
        file.syntax = Syntax::implicit_little;
    } else if (ts == "1.2.840.10008.1.2.2") {
        file.syntax = Syntax::explicit_big;
    } else if (ts == "1.2.840.10008.1.2.1.99") {
        auto inflated = inflate_rest(body, body_size);
        if (!inflated) return core::fail(inflated.error());
        file.inflated = std::move(*inflated);
        body = file.inflated.data();
        body_size = file.inflated.size();
    }
    Cursor c{body, body_size, 0, file.syntax};
    auto r = read_elements(c, 0, file.data, &file);
    if (!r) return core::fail(r.error());
    return file;
}

}  // namespace dicom::parse
