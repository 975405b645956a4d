#pragma once
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture_box.h"
#include "pixel_memory.h"
#include "refused.h"
#include "tone_tables.h"

namespace filter {

class MaskPolygon;

// The picture filter: a reference picture, a result picture and a mask, all
// top-down 32-bit BGRX buffers of the same size (4 * W * H bytes, no row
// filler), and the operations between them.
class clsPicfilter {
public:
    // True once a picture has been taken; operations that test it do nothing
    // while it is false.
    bool initialized = false;
    // Share of the picture that the mask left out, written by app_filter.
    double maskedSurface = 0.0;

    // Takes a picture as the new reference; the result starts as a copy of it.
    // A null picture clears `initialized` and keeps the buffers as they were.
    void Picture(const QImage& mypic);

    // Writes the result (or reference) picture into the holder's image.
    void display_result(PictureBox& mypicture) const;
    void display_reference(PictureBox& mypicture) const;

    // Result = reference through negative, light, contrast, gamma and colour,
    // with the calibration strip in the bottom 13 rows.
    void PicProcessing(bool fInvert, int fLight, int fContrast, int fGamma, int fColor);

    // Sharpens the reference; afterwards reference and result both hold the
    // sharpened picture. Without any picture ever taken, it does nothing.
    void deconvolution();

    // Masks. Coord[0][i] and Coord[1][i] are the x and y of vertex i as
    // fractions of the width and height. A polygon that cannot be drawn is
    // refused (Refused) and the mask stays as it was.
    void Mask(const std::vector<std::vector<double>>& Coord, int nb_pt);
    void deleteMask();
    void MaskBLC();

    // Colour-ratio filter: modes 1 (greater than) and 3 (less than) switch a
    // test on; returns the share of considered pixels that passed. A
    // threshold that is not a number is refused (Refused).
    double app_filter(double BR_filter, double BR_seuil, double BG_filter, double BG_seuil, double RG_filter,
                      double RG_seuil);
    // The reference's byte at a position given as fractions in [0, 1);
    // another position, or no picture yet, is refused (Refused).
    std::uint8_t comp_R(double X, double Y) const;
    std::uint8_t comp_G(double X, double Y) const;
    std::uint8_t comp_B(double X, double Y) const;

    // Read access for tools and tests.
    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t pixel_count() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_); }
    const std::uint8_t* reference_pixels() const { return ref_data(); }
    const std::uint8_t* result_pixels() const { return result_follows_ref_ ? ref_data() : result_.data(); }
    // Null while no mask operation has needed the mask (it then reads as zero).
    const std::uint8_t* mask_pixels() const { return mask_made_ ? mask_.data() : nullptr; }
    bool mask_active() const { return maskActive; }
    const filter::ToneTables& tables() const { return tables_; }

private:
    void process_pixels(const Adjustments& settings);
    void draw_mask(const MaskPolygon& polygon);
    void display(const std::uint8_t* source, PictureBox& box) const;
    // The result buffer, about to be written whole.
    std::uint8_t* result_for_overwrite();
    std::uint8_t* mask_buffer();  // creates the mask (all zero) on first use
    // The mask memory at the current size, for an operation that overwrites
    // all of it: not zeroed, and a failed allocation leaves the old mask intact.
    std::uint8_t* mask_for_overwrite();
    std::uint8_t channel_at(double X, double Y, int channel) const;
    const std::uint8_t* ref_data() const { return ref_shared_.isNull() ? ref_.data() : ref_shared_.constBits(); }
    std::uint64_t ref_blue_sum();

    // The reference is either our own copy or, when the picture came in
    // memory that only QImages hold, those very pixels, shared: taking a
    // picture then costs no copy and no fresh memory. Nothing writes through
    // the shared image, and the caller's writes to it detach their copy.
    QImage ref_shared_;
    core::PixelMemory ref_;
    core::PixelMemory result_;
    // Right after a picture is taken the result equals the reference; it is
    // only copied out when something reads it apart from the reference, which
    // spares a new picture a whole buffer of fresh memory.
    bool result_follows_ref_ = false;
    core::PixelMemory mask_;
    bool mask_made_ = false;
    bool maskActive = false;
    int width_ = 0;
    int height_ = 0;
    // Kept current with the reference once known; a shared picture's is
    // summed when the first adjustment needs it.
    std::uint64_t ref_blue_sum_ = 0;
    bool ref_blue_sum_known_ = false;
    filter::ToneTables tables_;
    filter::PixelMap map_;
};

}  // namespace filter
