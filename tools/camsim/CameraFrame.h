#pragma once

#include <cstddef>
#include <cstdint>

// The camera's frame geometry and wire format: width x height pixel bytes in row order,
// then the terminator byte. Pixels lie in kMinPixel..kMaxPixel, so neither 0x00 nor the
// terminator can occur inside a frame.
namespace CameraFrame {
constexpr std::size_t kWidth = 128;
constexpr std::size_t kHeight = 123;
constexpr std::size_t kPixels = kWidth * kHeight; // 15744
constexpr std::uint8_t kTerminator = 0xFF;
constexpr std::uint8_t kMinPixel = 1;
constexpr std::uint8_t kMaxPixel = 254;
constexpr std::uint8_t kStartCommand = 'a';
constexpr std::uint8_t kStopCommand = 'b';
} // namespace CameraFrame
