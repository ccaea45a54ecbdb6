#include "camera/FrameAssembler.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace {

constexpr std::uint8_t kZeroReplacement = 0x20;

// Copies size bytes, turning every 0x00 into 0x20. Written as a plain select so that the
// compiler vectorises it.
void copyReplacingZeros(std::uint8_t *dst, const std::uint8_t *src, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = src[i];
        dst[i] = b == 0 ? kZeroReplacement : b;
    }
}

} // namespace

FrameAssembler::FrameAssembler()
    : m_buffer(2 * kMaxMessage)
{
}

void FrameAssembler::setReceiver(Receiver receiver)
{
    m_receiver = std::move(receiver);
}

void FrameAssembler::setErrorSink(ErrorSink sink)
{
    m_errorSink = std::move(sink);
}

void FrameAssembler::setTerminator(std::uint8_t byte)
{
    m_terminator = byte;
}

void FrameAssembler::feed(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    if (m_feeding) {
        // A receiver let pending events run and more bytes arrived: keep them for after the
        // outer batch, so the stream is processed strictly in arrival order.
        m_queued.insert(m_queued.end(), data, data + size);
        return;
    }

    struct FeedingFlag
    {
        bool &flag;
        explicit FeedingFlag(bool &f)
            : flag(f)
        {
            flag = true;
        }
        ~FeedingFlag() { flag = false; }
    } feeding(m_feeding);

    process(data, size);
    while (!m_queued.empty()) {
        std::vector<std::uint8_t> batch;
        batch.swap(m_queued);
        process(batch.data(), batch.size());
    }
}

void FrameAssembler::process(const std::uint8_t *data, std::size_t size)
{
    const std::uint8_t *p = data;
    const std::uint8_t *const end = data + size;
    while (p != end) {
        if (!m_collecting) {
            // Whatever it is, the first byte opens the message.
            m_begin = m_end = 0;
            append(p, 1);
            ++p;
            m_collecting = true;
            continue;
        }
        const std::uint8_t *const stop = findTerminator(p, end);
        append(p, static_cast<std::size_t>(stop - p));
        if (stop == end)
            return;
        p = stop + 1;
        m_collecting = false;
        deliver();
    }
}

const std::uint8_t *FrameAssembler::findTerminator(const std::uint8_t *p,
                                                   const std::uint8_t *end) const
{
    if (!m_terminator || *m_terminator == 0)
        return end; // 0x00 is replaced before matching, so it can never end a message
    const std::uint8_t t = *m_terminator;
    if (t == kZeroReplacement)
        return std::find_if(p, end, [](std::uint8_t b) { return b == kZeroReplacement || b == 0; });
    const void *hit = std::memchr(p, t, static_cast<std::size_t>(end - p));
    return hit ? static_cast<const std::uint8_t *>(hit) : end;
}

void FrameAssembler::append(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    if (size >= kMaxMessage) {
        // Only the latest kMaxMessage bytes survive.
        data += size - kMaxMessage;
        size = kMaxMessage;
        m_begin = m_end = 0;
    } else if (m_end + size > m_buffer.size()) {
        // Move the part of the message that will survive to the front.
        const std::size_t keep = std::min(m_end - m_begin, kMaxMessage - size);
        std::memmove(m_buffer.data(), m_buffer.data() + m_end - keep, keep);
        m_begin = 0;
        m_end = keep;
    }
    copyReplacingZeros(m_buffer.data() + m_end, data, size);
    m_end += size;
    if (m_end - m_begin > kMaxMessage)
        m_begin = m_end - kMaxMessage;
}

void FrameAssembler::deliver()
{
    const std::string message(reinterpret_cast<const char *>(m_buffer.data() + m_begin),
                              m_end - m_begin);
    m_begin = m_end = 0;
    if (!m_receiver)
        return;

    std::string failure;
    bool failed = false;
    try {
        m_receiver(message);
    } catch (const std::exception &e) {
        failed = true;
        failure = e.what();
    } catch (...) {
        failed = true;
    }
    if (failed && m_errorSink) {
        // The sink is the last stop for an error; if it throws too, assembly still carries on.
        try {
            m_errorSink(failure);
        } catch (...) {
        }
    }
}
