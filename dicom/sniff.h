#pragma once
// First looks at bytes, shared by the client and its helper.
#include <cstddef>
#include <cstring>

namespace dicom {

// The "DICM" mark after the 128-byte preamble of a DICOM file.
inline bool has_dicom_mark(const unsigned char* data, std::size_t size) {
    return data && size >= 132 && std::memcmp(data + 128, "DICM", 4) == 0;
}

// Whether bytes without the mark may be a bare data set: one that starts
// with its meta information group (0002) or with the identifying group
// (0008), little endian, as the files that leave out the preamble do.
inline bool may_be_bare_data_set(const unsigned char* data, std::size_t size) {
    if (!data || size < 8) return false;
    const unsigned group = data[0] | data[1] << 8;
    return group == 0x0002 || group == 0x0008;
}

}  // namespace dicom
