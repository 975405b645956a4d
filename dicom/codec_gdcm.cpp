// The codec module: one compressed frame through GDCM's decoders.
#include <gdcmFragment.h>
#include <gdcmImage.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmTrace.h>
#include <gdcmTransferSyntax.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec.h"

namespace {

// Whether a lossy JPEG stream holds YCbCr, decided as the JPEG library
// decides it: a JFIF marker says so, an Adobe marker says by its transform,
// else component ids 'R', 'G', 'B' mean RGB and anything else YCbCr.
bool jpeg_holds_ycbcr(const unsigned char* p, size_t n) {
    size_t i = 2;
    while (i + 4 <= n && p[i] == 0xFF) {
        const unsigned marker = p[i + 1];
        const size_t length = static_cast<size_t>(p[i + 2] << 8 | p[i + 3]);
        const unsigned char* body = p + i + 4;
        if (i + 2 + length > n || length < 2) return true;
        if (marker == 0xE0 && length >= 7 && std::memcmp(body, "JFIF", 4) == 0) return true;
        if (marker == 0xEE && length >= 14 && std::memcmp(body, "Adobe", 5) == 0) return body[11] != 0;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && length >= 8 + 3 * 3) return !(body[6] == 'R' && body[9] == 'G' && body[12] == 'B');
        i += 2 + length;
    }
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int selection_image_dicom_decode_frame(const DicomCodecFrame* in,
                                                                                         DicomCodecPicture* out) {
    gdcm::Trace::SetWarning(false);
    gdcm::Trace::SetError(false);
    const gdcm::TransferSyntax ts = gdcm::TransferSyntax::GetTSType(in->transfer_syntax);
    if (ts == gdcm::TransferSyntax::TS_END || !ts.IsEncapsulated()) return dicom_codec_unknown_syntax;
    gdcm::Image image;
    image.SetNumberOfDimensions(2);
    image.SetDimension(0, static_cast<unsigned int>(in->columns));
    image.SetDimension(1, static_cast<unsigned int>(in->rows));
    image.SetPixelFormat(gdcm::PixelFormat(
        static_cast<unsigned short>(in->samples_per_pixel), static_cast<unsigned short>(in->bits_allocated),
        static_cast<unsigned short>(in->bits_stored), static_cast<unsigned short>(in->high_bit),
        static_cast<unsigned short>(in->pixel_representation)));
    image.SetPhotometricInterpretation(gdcm::PhotometricInterpretation::GetPIType(in->photometric));
    image.SetPlanarConfiguration(static_cast<unsigned int>(in->planar_configuration));
    image.SetTransferSyntax(ts);
    // Fragments have an even length: a frame of odd length gets the usual padding byte.
    std::vector<char> padded;
    const char* bytes = reinterpret_cast<const char*>(in->data);
    size_t size = in->size;
    if (size % 2) {
        padded.assign(bytes, bytes + size);
        padded.push_back(0);
        bytes = padded.data();
        ++size;
    }
    gdcm::Fragment fragment;
    fragment.SetByteValue(bytes, static_cast<gdcm::VL::Type>(size));
    gdcm::SmartPointer<gdcm::SequenceOfFragments> fragments = new gdcm::SequenceOfFragments;
    fragments->AddFragment(fragment);
    gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
    pixels.SetVR(gdcm::VR::OB);
    pixels.SetValue(*fragments);
    image.SetDataElement(pixels);
    const unsigned long length = image.GetBufferLength();
    auto* buffer = static_cast<unsigned char*>(std::malloc(length ? length : 1));
    if (!buffer) return dicom_codec_failed;
    if (!image.GetBuffer(reinterpret_cast<char*>(buffer))) {
        std::free(buffer);
        return dicom_codec_failed;
    }
    out->data = buffer;
    out->size = length;
    const char* pi = gdcm::PhotometricInterpretation::GetPIString(image.GetPhotometricInterpretation());
    std::strncpy(out->photometric, pi ? pi : "", sizeof out->photometric - 1);
    out->photometric[sizeof out->photometric - 1] = 0;
    // GDCM leaves a lossy JPEG's YCbCr as it is and keeps the data set's
    // word for it; a stream labelled RGB that holds YCbCr still needs converting.
    const bool lossy_jpeg =
        ts == gdcm::TransferSyntax::JPEGBaselineProcess1 || ts == gdcm::TransferSyntax::JPEGExtendedProcess2_4;
    if (lossy_jpeg && in->samples_per_pixel == 3 && std::strncmp(out->photometric, "RGB", 3) == 0 &&
        jpeg_holds_ycbcr(in->data, in->size))
        std::strcpy(out->photometric, "YBR_FULL");
    out->planar_configuration = static_cast<int>(image.GetPlanarConfiguration());
    const gdcm::PixelFormat& pf = image.GetPixelFormat();
    out->bits_allocated = pf.GetBitsAllocated();
    out->bits_stored = pf.GetBitsStored();
    out->high_bit = pf.GetHighBit();
    out->pixel_representation = pf.GetPixelRepresentation();
    return dicom_codec_decoded;
}
