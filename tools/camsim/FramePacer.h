#pragma once

#include <chrono>
#include <cstddef>

// Decides when the simulated camera may send how many bytes.
//  - line rate: the bytes of a 115200 8N1 line, 11520 bytes/s, sent in small chunks;
//  - frames per second: each whole frame at once, frames N per second apart;
//  - unpaced: as fast as the reader takes them.
// After a stall (nobody reading) a paced stream does not race to catch up: at most
// kMaxBurstBytes (line rate) or one frame (frames per second) go early.
class FramePacer
{
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    static constexpr double kLineBytesPerSecond = 115200.0 / 10.0; // 8N1: 10 bits a byte
    static constexpr std::size_t kChunkBytes = 64; // about 5.6 ms of line time
    static constexpr std::size_t kMaxBurstBytes = 512;

    static FramePacer lineRate();
    static FramePacer framesPerSecond(double fps); // fps > 0
    static FramePacer unpaced();

    // Streaming (re)starts at now.
    void restart(TimePoint now);

    // Bytes that may go at now, at most remainingInFrame. offsetInFrame is the number of
    // bytes of the current frame already sent (0 before a frame starts).
    std::size_t allowance(TimePoint now, std::size_t offsetInFrame,
                          std::size_t remainingInFrame) const;

    // When it is next worth writing (a chunk or the rest of the frame is due). Never before
    // the time at which allowance() becomes non-zero.
    TimePoint nextWrite(std::size_t offsetInFrame, std::size_t remainingInFrame) const;

    // bytes were written at now; frameCompleted when they included the frame's terminator.
    void sent(TimePoint now, std::size_t bytes, bool frameCompleted);

private:
    enum class Mode { LineRate, FramesPerSecond, Unpaced };
    FramePacer(Mode mode, double rate);
    static Clock::duration seconds(double s);

    Mode m_mode;
    double m_rate; // bytes or frames per second
    TimePoint m_next {}; // line rate: when the next byte is due; fps: when the next frame is
};
