#pragma once
// The helper's reading of a DICOM file: the data set's structure only, as
// spans of the caller's bytes (nothing is copied but a deflated data set,
// which has to be inflated). The pixel data of a native transfer syntax is
// then read in place, and only compressed frames go to the codec library,
// whose start alone (its data dictionary) costs more than reading a whole
// uncompressed radiograph.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"

namespace dicom::parse {

enum class Syntax { implicit_little, explicit_little, explicit_big };

struct Span {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

constexpr std::uint32_t tag(std::uint16_t group, std::uint16_t element) { return std::uint32_t{group} << 16 | element; }

struct Element {
    std::uint32_t tag;
    char vr[2];  // "  " when the syntax does not say
    Span value;  // for a sequence, its items (delimiters excluded)
    Syntax syntax;
};

class DataSet {
public:
    std::vector<Element> elements;

    const Element* find(std::uint32_t t) const;
    // A text value without its padding; the whole value, backslashes included.
    std::optional<std::string_view> text(std::uint32_t t) const;
    // One 16-bit unsigned value (index-th of several).
    std::optional<std::uint16_t> us(std::uint32_t t, std::size_t index = 0) const;
    // The numbers of a decimal or integer string, in order.
    std::vector<double> numbers(std::uint32_t t) const;
    // The items of a sequence; an empty list when absent or unreadable.
    std::vector<DataSet> items(std::uint32_t t) const;
};

struct File {
    std::string transfer_syntax;  // as written in the meta information, or guessed
    Syntax syntax = Syntax::explicit_little;
    DataSet data;
    bool has_pixel_data = false;
    bool encapsulated = false;
    Span native;                         // the pixel data's bytes when not encapsulated
    std::vector<Span> fragments;         // when encapsulated: the basic offset table, then the fragments
    std::vector<std::uint8_t> inflated;  // a deflated data set, once inflated (the spans point here)
};

// Reads the file from its 128-byte preamble and "DICM" mark, or, without the
// mark, a bare data set (with or without its meta information group).
// The spans point into `bytes` (or into the file's own inflated copy).
core::Result<File> read_file(const std::uint8_t* bytes, std::size_t size);

std::uint16_t read16(const std::uint8_t* p, Syntax s);
std::uint32_t read32(const std::uint8_t* p, Syntax s);

}  // namespace dicom::parse
