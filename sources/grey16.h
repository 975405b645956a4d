#pragma once
#include <QImage>

namespace sources {

// A 16-bit grey picture (a radiograph, typically) as an 8-bit one: its own
// range of grey values is mapped linearly onto 0..255, the darkest pixel
// black and the brightest white, so that a sensor using a few thousand
// levels of 65536 does not come out as a black field. A uniform picture
// keeps its plain 8-bit value. Null when out of memory.
QImage stretch_grey16(const QImage& grey16);

}  // namespace sources
