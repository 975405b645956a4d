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

extern "C" __attribute__((visibility("default"))) int selection_image_dicom_decode_frame(
    const DicomCodecFrame* in, DicomCodecPicture* out) {
    gdcm::Trace::SetWarning(false);
    gdcm::Trace::SetError(false);
    const gdcm::TransferSyntax ts = gdcm::TransferSyntax::GetTSType(in->transfer_syntax);
    if (ts == gdcm::TransferSyntax::TS_END || !ts.IsEncapsulated()) return dicom_codec_unknown_syntax;
    gdcm::Image image;
    image.SetNumberOfDimensions(2);
    image.SetDimension(0, static_cast<unsigned int>(in->columns));
    image.SetDimension(1, static_cast<unsigned int>(in->rows));
    image.SetPixelFormat(gdcm::PixelFormat(static_cast<unsigned short>(in->samples_per_pixel),
                                           static_cast<unsigned short>(in->bits_allocated),
                                           static_cast<unsigned short>(in->bits_stored),
                                           static_cast<unsigned short>(in->high_bit),
                                           static_cast<unsigned short>(in->pixel_representation)));
    image.SetPhotometricInterpretation(gdcm::PhotometricInterpretation::GetPIType(in->photometric));
    image.SetPlanarConfiguration(static_cast<unsigned int>(in->planar_configuration));
    image.SetTransferSyntax(ts);
    // Fragments have an even length: a frame of odd length gets the usual padding byte.
    std::vector<char> bytes(in->data, in->data + in->size);
    if (bytes.size() % 2) bytes.push_back(0);
    gdcm::Fragment fragment;
    fragment.SetByteValue(bytes.data(), static_cast<gdcm::VL::Type>(bytes.size()));
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
    out->planar_configuration = static_cast<int>(image.GetPlanarConfiguration());
    const gdcm::PixelFormat& pf = image.GetPixelFormat();
    out->bits_allocated = pf.GetBitsAllocated();
    out->bits_stored = pf.GetBitsStored();
    out->high_bit = pf.GetHighBit();
    out->pixel_representation = pf.GetPixelRepresentation();
    return dicom_codec_decoded;
}
