#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

// One 16384-byte frame buffer: the window's frame buffer and its display buffer are both of
// this kind. Shared ownership lets a handler keep reading into the buffer it made even when
// a nested handler has since replaced the window's buffer.
constexpr std::size_t kFrameBufferBytes = 16384;
using FrameBuffer = std::array<std::uint8_t, kFrameBufferBytes>;
using FrameBufferPtr = std::shared_ptr<FrameBuffer>;

// A new buffer, filled with zeros so that whatever part no frame reaches is drawn and
// saved the same way every time.
inline FrameBufferPtr makeFrameBuffer()
{
    return std::make_shared<FrameBuffer>(); // value-initialised: all zeros
}
