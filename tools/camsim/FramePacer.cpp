#include "tools/camsim/FramePacer.h"

#include <algorithm>
#include <cmath>

FramePacer::FramePacer(Mode mode, double rate)
    : m_mode(mode)
    , m_rate(rate)
{
}

FramePacer FramePacer::lineRate()
{
    return FramePacer(Mode::LineRate, kLineBytesPerSecond);
}

FramePacer FramePacer::framesPerSecond(double fps)
{
    return FramePacer(Mode::FramesPerSecond, fps);
}

FramePacer FramePacer::unpaced()
{
    return FramePacer(Mode::Unpaced, 0.0);
}

FramePacer::Clock::duration FramePacer::seconds(double s)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

void FramePacer::restart(TimePoint now)
{
    m_next = now;
}

std::size_t FramePacer::allowance(TimePoint now, std::size_t offsetInFrame,
                                  std::size_t remainingInFrame) const
{
    switch (m_mode) {
    case Mode::Unpaced:
        return remainingInFrame;
    case Mode::FramesPerSecond:
        // A started frame goes whole; a new one waits for its time.
        return (offsetInFrame > 0 || now >= m_next) ? remainingInFrame : 0;
    case Mode::LineRate: {
        if (now < m_next)
            return 0;
        const double due = std::chrono::duration<double>(now - m_next).count() * m_rate;
        const auto bytes = static_cast<std::size_t>(std::min(due, double(kMaxBurstBytes))) + 1;
        return std::min({bytes, kMaxBurstBytes, remainingInFrame});
    }
    }
    return 0;
}

FramePacer::TimePoint FramePacer::nextWrite(std::size_t offsetInFrame,
                                            std::size_t remainingInFrame) const
{
    switch (m_mode) {
    case Mode::Unpaced:
        return TimePoint::min();
    case Mode::FramesPerSecond:
        return offsetInFrame > 0 ? TimePoint::min() : m_next;
    case Mode::LineRate: {
        const std::size_t chunk = std::clamp<std::size_t>(remainingInFrame, 1, kChunkBytes);
        return m_next + seconds(double(chunk - 1) / m_rate);
    }
    }
    return TimePoint::min();
}

void FramePacer::sent(TimePoint now, std::size_t bytes, bool frameCompleted)
{
    switch (m_mode) {
    case Mode::Unpaced:
        return;
    case Mode::FramesPerSecond:
        if (frameCompleted) {
            // The next frame is due one period after this one was; if sending fell behind,
            // it is due now rather than in a catch-up rush.
            m_next = std::max(m_next + seconds(1.0 / m_rate), now);
        }
        return;
    case Mode::LineRate:
        m_next = std::max(m_next, now - seconds(double(kMaxBurstBytes) / m_rate))
            + seconds(double(bytes) / m_rate);
        return;
    }
}
