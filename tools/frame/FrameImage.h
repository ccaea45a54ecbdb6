#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

// Conversion between a frame and the 128 x 123 grey picture the viewer shows of it from the
// front, unrotated: the point of row r and column c reads display-buffer index
// 15744 - 128r - c, row 122 at the top and column 0 at the left. So image pixel (x, y) shows
// index 128(y + 1) - x: the top-left pixel index 15744, the bottom-right pixel index 1;
// index 0 is never shown.
//
// Round trip: a load puts the decoded frame at index 0 and a zero byte right after it. A
// 15744-byte frame would thus always show that zero at index 15744, the top-left pixel. The
// frame made from an image is therefore 15745 bytes long: byte 0 is padding (never shown,
// kept non-zero so the frame is not cut there) and byte i, for i from 1 to 15744, is the
// pixel that shows index i; the zero lands at index 15745, which is not shown. Loading it
// gives back every pixel exactly. Pixels are limited to 1..254 because 0x00 would end the
// frame early and 0xFF ends a frame on the camera line.
namespace FrameImage {

constexpr int kWidth = 128;
constexpr int kHeight = 123;
constexpr std::size_t kPixelCount = std::size_t(kWidth) * kHeight; // 15744
constexpr std::size_t kImageFrameSize = kPixelCount + 1; // padding byte + pixels
constexpr std::uint8_t kPadding = 1;
constexpr std::uint8_t kMinGrey = 1;
constexpr std::uint8_t kMaxGrey = 254;

// The display-buffer index image pixel (x, y) shows, 1 to 15744.
constexpr std::size_t displayIndex(int x, int y)
{
    return std::size_t(kWidth) * std::size_t(y + 1) - std::size_t(x);
}

// The picture of a display buffer of at least kPixelCount + 1 bytes, as Grayscale8 with
// each byte as its grey value.
QImage toImage(const std::uint8_t *displayBuffer);

// The kImageFrameSize-byte frame that loads as image: scaled to 128 x 123 (aspect ratio
// not kept) and made grey, values limited to 1..254. image must not be null.
std::string toFrame(const QImage &image);

} // namespace FrameImage
