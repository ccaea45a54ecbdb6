#include "tools/camsim/CameraStream.h"

#include "tools/camsim/CameraFrame.h"

#include <cassert>
#include <utility>

CameraStream::CameraStream(FrameSource source)
    : m_source(std::move(source))
{
}

bool CameraStream::command(std::uint8_t byte)
{
    if (byte == CameraFrame::kStartCommand) {
        const bool started = !m_streaming;
        m_streaming = true;
        return started;
    }
    if (byte == CameraFrame::kStopCommand)
        m_streaming = false;
    return false;
}

std::span<const std::uint8_t> CameraStream::pending()
{
    if (m_frame.empty()) {
        m_frame = m_source(m_nextFrameNumber++);
        m_frame.resize(CameraFrame::kPixels, CameraFrame::kMinPixel);
        m_frame.push_back(CameraFrame::kTerminator);
        m_offset = 0;
    }
    return std::span<const std::uint8_t>(m_frame).subspan(m_offset);
}

bool CameraStream::consumed(std::size_t n)
{
    assert(m_offset + n <= m_frame.size());
    m_offset += n;
    if (m_frame.empty() || m_offset < m_frame.size())
        return false;
    m_frame.clear();
    m_offset = 0;
    ++m_framesSent;
    return true;
}
