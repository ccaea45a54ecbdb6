#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// The camera's side of the protocol: 'a' starts streaming, 'b' stops it, other bytes are
// ignored. Each frame goes out as its pixels followed by 0xFF. A stop in the middle of a
// frame pauses it: the next start continues the same frame, so a viewer that keeps its
// partial frame across reopening the port still sees whole frames.
class CameraStream
{
public:
    // Returns the CameraFrame::kPixels pixels of frame frameNumber (0, 1, 2, ...).
    using FrameSource = std::function<std::vector<std::uint8_t>(std::uint64_t frameNumber)>;

    explicit CameraStream(FrameSource source);

    // Handles one byte from the viewer. Returns true when it started a stopped stream.
    bool command(std::uint8_t byte);
    bool streaming() const { return m_streaming; }

    // The bytes of the current frame still to send (pixels then 0xFF); starts the next frame
    // when the last one is complete. Valid until consumed() is called.
    std::span<const std::uint8_t> pending();
    // Bytes of the current frame already sent.
    std::size_t offsetInFrame() const { return m_offset; }
    // n bytes of pending() were written. Returns true when that completed the frame.
    bool consumed(std::size_t n);

    // Frames completely sent, terminator included.
    std::uint64_t framesSent() const { return m_framesSent; }

private:
    FrameSource m_source;
    std::vector<std::uint8_t> m_frame; // pixels + terminator; empty between frames
    std::size_t m_offset = 0;
    std::uint64_t m_nextFrameNumber = 0;
    std::uint64_t m_framesSent = 0;
    bool m_streaming = false;
};
