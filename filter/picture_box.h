#pragma once
#include <QImage>

namespace filter {

// The picture holder: the working picture that the view paints, printing and
// saving read, and the filter writes its result into. Its image is kept in
// Format_RGB32 (top-down B, G, R, X rows).
struct PictureBox {
    QImage image;
};

}  // namespace filter
