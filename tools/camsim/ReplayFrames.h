#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Recorded .kvr frames to send in a loop instead of the synthetic relief.
class ReplayFrames
{
public:
    // Turns the bytes of a .kvr file into one camera frame of CameraFrame::kPixels bytes:
    // CR LF becomes LF (the file's line-end rule), every other byte stays; the first
    // kPixels bytes are used, a shorter frame is padded with 1s, and 0 and 255 are clamped to
    // 1 and 254 so that the frame holds neither a zero byte nor the terminator.
    static std::vector<std::uint8_t> decode(std::string_view fileBytes);

    // Reads and decodes every file, in order. Throws std::runtime_error naming the file that
    // cannot be read.
    explicit ReplayFrames(const std::vector<std::string> &files);

    // Frame frameNumber of the endless loop through the files.
    const std::vector<std::uint8_t> &frame(std::uint64_t frameNumber) const
    {
        return m_frames[frameNumber % m_frames.size()];
    }
    std::size_t size() const { return m_frames.size(); }

private:
    std::vector<std::vector<std::uint8_t>> m_frames;
};
