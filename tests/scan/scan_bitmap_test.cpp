// Frames as a scanner sends them, built here from a known picture, must come
// out of ScanBitmap as a 24-bit bitmap file of that picture.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <random>

#include "picture_loader.h"
#include "scan_bitmap.h"

using sources::ScanBitmap;
using sources::ScanFrameFormat;
using Kind = ScanFrameFormat::Kind;

namespace {

struct FrameCase {
  const char* name;
  std::vector<Kind> frames;  // one Gray or Rgb frame, or three colour frames in any order
  int depth;
  int width, height;
  int padding;        // bytes after the pixels of each line
  std::size_t chunk;  // size of the pieces the data arrive in (0: whole frame)
  bool unknown_lines;
};

std::ostream& operator<<(std::ostream& os, const FrameCase& c) { return os << c.name; }

// Expected values as a scanner of this depth can express them: depth 1 only
// knows 0 and 255, a grey frame only knows grey.
QImage expected_picture(const FrameCase& c, unsigned seed) {
  std::mt19937 rng(seed);
  QImage img(c.width, c.height, QImage::Format_RGB32);
  const bool gray = c.frames.size() == 1 && c.frames[0] == Kind::Gray;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      int v[3];
      for (int& s : v) s = c.depth == 1 ? (rng() & 128 ? 255 : 0) : int(rng() & 255);
      img.setPixel(x, y, gray ? qRgb(v[0], v[0], v[0]) : qRgb(v[0], v[1], v[2]));
    }
  return img;
}

int line_bytes(int width, Kind kind, int depth) {
  return int((std::int64_t(width) * (kind == Kind::Rgb ? 3 : 1) * depth + 7) / 8);
}

// One sample of `depth` bits written at sample index `i` of a line. 16-bit
// values are spread around v * 257 so that only correct rounding gives v back.
void put_sample(std::vector<std::uint8_t>& line, std::size_t i, int depth, int v, bool gray, std::mt19937& rng) {
  if (depth == 8) {
    line[i] = std::uint8_t(v);
  } else if (depth == 16) {
    const std::uint16_t s = std::uint16_t(std::clamp(v * 257 + int(rng() % 257) - 128, 0, 65535));
    std::memcpy(&line[2 * i], &s, 2);  // host byte order, as SANE sends
  } else if (gray ? v == 0 : v == 255) {  // grey: a set bit is black
    line[i / 8] |= std::uint8_t(0x80 >> (i % 8));
  }
}

std::vector<std::uint8_t> frame_bytes(const FrameCase& c, Kind kind, const QImage& img, int bytes_per_line) {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> data;
  const int samples = kind == Kind::Rgb ? 3 : 1;
  for (int y = 0; y < c.height; ++y) {
    std::vector<std::uint8_t> line(std::size_t(bytes_per_line), 0);
    for (int x = 0; x < c.width; ++x)
      for (int ch = 0; ch < samples; ++ch) {
        // Gray and Red frames carry the red channel, Green and Blue theirs.
        const int channel = kind == Kind::Rgb ? ch : kind == Kind::Green ? 1 : kind == Kind::Blue ? 2 : 0;
        put_sample(line, std::size_t(samples) * x + ch, c.depth, int(img.pixel(x, y) >> (16 - 8 * channel)) & 255, kind == Kind::Gray, rng);
      }
    std::fill(line.begin() + line_bytes(c.width, kind, c.depth), line.end(), 0xA5);  // padding a decoder must skip
    data.insert(data.end(), line.begin(), line.end());
  }
  return data;
}

std::vector<std::uint8_t> assemble(const FrameCase& c, const QImage& img, int extra_lines = 0) {
  ScanBitmap bitmap;
  QString error;
  for (Kind kind : c.frames) {
    const ScanFrameFormat f{kind, line_bytes(c.width, kind, c.depth) + c.padding, c.width,
                            c.unknown_lines ? -1 : c.height - extra_lines, c.depth};
    EXPECT_TRUE(bitmap.begin_frame(f, &error)) << error.toStdString();
    const std::vector<std::uint8_t> data = frame_bytes(c, kind, img, f.bytes_per_line);
    const std::size_t chunk = c.chunk ? c.chunk : data.size();
    for (std::size_t at = 0; at < data.size(); at += chunk)
      EXPECT_TRUE(bitmap.add_data(data.data() + at, std::min(chunk, data.size() - at), &error));
    bitmap.end_frame();
  }
  std::vector<std::uint8_t> file;
  EXPECT_TRUE(bitmap.take_file(&file, &error)) << error.toStdString();
  return file;
}

QImage decode(const std::vector<std::uint8_t>& file) {
  QString error;
  const QImage img = sources::decode_picture(QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size())), &error);
  EXPECT_FALSE(img.isNull()) << error.toStdString();
  return img;
}

std::uint32_t u32_at(const std::vector<std::uint8_t>& f, std::size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | std::uint32_t(f[at + 3]) << 24;
}

class ScanBitmapFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(ScanBitmapFrames, BecomeA24BitBitmapOfThePicture) {
  const FrameCase& c = GetParam();
  const QImage expected = expected_picture(c, 99);
  const std::vector<std::uint8_t> file = assemble(c, expected);
  ASSERT_GE(file.size(), std::size_t{54});
  EXPECT_EQ(file[28], 24);  // bits per pixel
  const std::size_t stride = (3 * std::size_t(c.width) + 3) & ~std::size_t{3};
  EXPECT_EQ(u32_at(file, 2), 54 + stride * c.height);
  EXPECT_EQ(file.size(), 54 + stride * c.height);
  const QImage decoded = decode(file);
  ASSERT_EQ(decoded.size(), expected.size());
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      ASSERT_EQ(decoded.pixel(x, y) & 0xFFFFFF, expected.pixel(x, y) & 0xFFFFFF) << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, ScanBitmapFrames,
    ::testing::Values(FrameCase{"gray8", {Kind::Gray}, 8, 13, 9, 0, 0, false},
                      FrameCase{"gray8_padded_bytewise", {Kind::Gray}, 8, 13, 9, 5, 1, false},
                      FrameCase{"gray16", {Kind::Gray}, 16, 11, 7, 0, 5, false},
                      FrameCase{"lineart", {Kind::Gray}, 1, 21, 6, 0, 3, false},
                      FrameCase{"lineart_padded", {Kind::Gray}, 1, 9, 5, 2, 0, false},
                      FrameCase{"rgb8", {Kind::Rgb}, 8, 10, 8, 0, 7, false},
                      FrameCase{"rgb16", {Kind::Rgb}, 16, 9, 6, 4, 11, false},
                      FrameCase{"rgb1", {Kind::Rgb}, 1, 11, 5, 0, 2, false},
                      FrameCase{"three_pass_rgb", {Kind::Red, Kind::Green, Kind::Blue}, 8, 12, 7, 0, 0, false},
                      FrameCase{"three_pass_bgr16", {Kind::Blue, Kind::Green, Kind::Red}, 16, 7, 6, 3, 13, false},
                      FrameCase{"three_pass_grb1", {Kind::Green, Kind::Red, Kind::Blue}, 1, 17, 4, 0, 0, false},
                      FrameCase{"hand_scanner_gray", {Kind::Gray}, 8, 15, 23, 0, 64, true},
                      FrameCase{"hand_scanner_rgb16", {Kind::Rgb}, 16, 6, 40, 0, 1000, true},
                      FrameCase{"hand_scanner_three_pass", {Kind::Red, Kind::Green, Kind::Blue}, 8, 5, 9, 0, 3, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A device that sends more lines than it announced: the picture keeps the
// announced height and the surplus is dropped.
TEST(ScanBitmapLength, SurplusLinesOfAnAnnouncedHeightAreDropped) {
  const FrameCase c{"gray8", {Kind::Gray}, 8, 6, 10, 0, 0, false};
  const QImage img = expected_picture(c, 3);
  const std::vector<std::uint8_t> file = assemble(c, img, 4);
  ASSERT_GE(file.size(), std::size_t{54});
  EXPECT_EQ(u32_at(file, 22), 6u);
  const QImage decoded = decode(file);
  ASSERT_EQ(decoded.height(), 6);
  EXPECT_EQ(decoded.pixel(2, 5) & 0xFFFFFF, img.pixel(2, 5) & 0xFFFFFF);
}

// Frames that end early (a hand-held scanner lifted, a short colour pass):
// the picture has the rows every frame delivered, and a partial row is dropped.
TEST(ScanBitmapLength, ShortFramesGiveTheRowsAllFramesDelivered) {
  ScanBitmap bitmap;
  QString error;
  const int lengths[3] = {5, 3, 4};  // red, green, blue
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(bitmap.begin_frame({Kind(int(Kind::Red) + f), 4, 4, 5, 8}, &error));
    std::vector<std::uint8_t> data(std::size_t(4 * lengths[f]) + 2, std::uint8_t(60 * (f + 1)));
    ASSERT_TRUE(bitmap.add_data(data.data(), data.size(), &error));
    bitmap.end_frame();
  }
  EXPECT_EQ(bitmap.height(), 3);
  std::vector<std::uint8_t> file;
  ASSERT_TRUE(bitmap.take_file(&file, &error));
  const QImage decoded = decode(file);
  ASSERT_EQ(decoded.size(), QSize(4, 3));
  EXPECT_EQ(decoded.pixel(3, 2) & 0xFFFFFF, qRgb(60, 120, 180) & 0xFFFFFF);
}

struct BadFormat {
  const char* name;
  ScanFrameFormat first;
  bool has_second;
  ScanFrameFormat second;
};
std::ostream& operator<<(std::ostream& os, const BadFormat& c) { return os << c.name; }

class ScanBitmapRefuses : public ::testing::TestWithParam<BadFormat> {};

TEST_P(ScanBitmapRefuses, FormatsNoPictureCanComeFrom) {
  const BadFormat& c = GetParam();
  ScanBitmap bitmap;
  QString error;
  bool ok = bitmap.begin_frame(c.first, &error);
  if (ok && c.has_second) {
    std::vector<std::uint8_t> data(std::size_t(c.first.bytes_per_line) * std::max(c.first.lines, 1), 0);
    ASSERT_TRUE(bitmap.add_data(data.data(), data.size(), &error));
    bitmap.end_frame();
    ok = bitmap.begin_frame(c.second, &error);
  }
  EXPECT_FALSE(ok);
  EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ScanBitmapRefuses,
    ::testing::Values(BadFormat{"depth4", {Kind::Gray, 4, 8, 2, 4}, false, {}},
                      BadFormat{"zero_width", {Kind::Gray, 4, 0, 2, 8}, false, {}},
                      BadFormat{"line_shorter_than_pixels", {Kind::Rgb, 8, 4, 2, 8}, false, {}},
                      BadFormat{"sixteen_bit_line_too_short", {Kind::Gray, 7, 4, 2, 16}, false, {}},
                      BadFormat{"absurd_line_length", {Kind::Gray, 1 << 30, 4, 2, 8}, false, {}},
                      BadFormat{"too_many_pixels", {Kind::Gray, 65536, 65536, 65536, 8}, false, {}},
                      BadFormat{"passes_of_different_width",
                                {Kind::Red, 4, 4, 2, 8}, true, {Kind::Green, 5, 5, 2, 8}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScanBitmapRefusesFile, WhenNoCompleteRowArrived) {
  ScanBitmap bitmap;
  QString error;
  ASSERT_TRUE(bitmap.begin_frame({Kind::Gray, 10, 10, -1, 8}, &error));
  const std::uint8_t part[7] = {};
  ASSERT_TRUE(bitmap.add_data(part, sizeof part, &error));
  std::vector<std::uint8_t> file;
  EXPECT_FALSE(bitmap.take_file(&file, &error));
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
