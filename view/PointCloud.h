#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// How a display buffer becomes the relief's 128 x 123 points.
namespace PointCloud {

constexpr int kColumns = 128;
constexpr int kRows = 123;
constexpr int kPoints = kColumns * kRows; // 15744

// Display-buffer index of the point at row r (0..122) and column c (0..127):
// 15744 - (128 r + c), so row 0 column 0 reads index 15744 and the last point index 1.
constexpr int bufferIndex(int row, int column)
{
    return kPoints - (kColumns * row + column);
}

// Scene position of a point: x = c - 64 (-64..63), y = r - 62 (-62..60).
constexpr int sceneX(int column)
{
    return column - 64;
}
constexpr int sceneY(int row)
{
    return row - 62;
}

// Height of a brightness v (0..255): v / heightRatio, integer division; heightRatio >= 1.
constexpr int height(std::uint8_t v, int heightRatio)
{
    return v / heightRatio;
}

// The grey level as the signed byte handed to GL: the low 8 bits of v / brightDivisor
// (brightDivisor >= 1), read as signed, so 128..255 are negative and draw black.
constexpr std::int8_t greyByte(std::uint8_t v, int brightDivisor)
{
    return static_cast<std::int8_t>(static_cast<std::uint8_t>((v / brightDivisor) & 0xFF));
}

// The unsigned colour byte whose value / 255 equals GL's float for a signed colour byte g
// given per vertex, (2g + 1) / 255, clamped at 0: g 0..127 gives 1..255, negatives give 0.
// Drawing with it from an array matches a per-point glColor3b pixel for pixel.
constexpr std::uint8_t colourFromGrey(std::int8_t g)
{
    return g < 0 ? 0 : static_cast<std::uint8_t>(2 * g + 1);
}

// Fills the arrays for one batched draw of all points, in drawing order (rows outer,
// columns inner): xyz gets 3 shorts per point, rgb 3 colour bytes per point. displayBuffer
// must hold at least 15745 bytes; index 0 is never read.
void build(const std::uint8_t *displayBuffer, int heightRatio, int brightDivisor,
           std::vector<std::int16_t> &xyz, std::vector<std::uint8_t> &rgb);

} // namespace PointCloud
