#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Cuts the byte stream from the camera into messages.
//
// Byte rules, applied to every byte in arrival order:
//  - 0x00 is replaced by 0x20 before anything else, so a message never holds a zero byte.
//  - While waiting, any byte (the terminator included) becomes the whole message and
//    collecting starts: the byte after a terminator always opens the next message.
//  - While collecting, the terminator byte ends the message: the message (without the
//    terminator) is delivered, cleared, and waiting starts again. Any other byte is appended;
//    the message keeps only its latest kMaxMessage bytes.
//  - Until a terminator is set, nothing ends a message.
//
// Cost is linear in the bytes fed, whatever the stream: a long unterminated run costs about
// as much as the same amount of framed data.
//
// Mode and partial message persist across everything (port close and reopen included);
// nothing resets them. Not thread-safe: feed, deliveries and the setters run on one thread.
class FrameAssembler
{
public:
    static constexpr std::size_t kMaxMessage = 16384;

    // Receives one message of 1..kMaxMessage bytes, never holding 0x00. The reference is
    // valid only during the call.
    using Receiver = std::function<void(const std::string &message)>;
    // Receives the text of an exception that escaped the receiver: what() for a
    // std::exception, an empty text for anything else.
    using ErrorSink = std::function<void(const std::string &what)>;

    FrameAssembler();

    // Do not replace the receiver or the sink from inside a delivery.
    void setReceiver(Receiver receiver);
    void setErrorSink(ErrorSink sink);

    // The byte that ends a message; set to 0xFF each time the port opens. Keeps the current
    // mode and partial message. A terminator of 0x00 never matches, since zero bytes are
    // turned into 0x20 first.
    void setTerminator(std::uint8_t byte);
    std::optional<std::uint8_t> terminator() const { return m_terminator; }

    // Feeds size bytes in order. Completed messages are delivered synchronously, in order,
    // before feed returns. An exception escaping the receiver goes to the error sink and
    // assembly carries on with the next byte. A feed called from inside a delivery (a
    // receiver that lets pending events run) is queued and processed, in order, after the
    // bytes of the outer feed, so bytes are never reordered.
    void feed(const std::uint8_t *data, std::size_t size);
    void feed(std::string_view bytes)
    {
        feed(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    }

    // True while a message is being collected (a first byte has arrived, no terminator yet).
    bool collecting() const { return m_collecting; }
    // Bytes in the partial message, 0..kMaxMessage.
    std::size_t pendingSize() const { return m_end - m_begin; }

private:
    void process(const std::uint8_t *data, std::size_t size);
    // Position of the first byte in [p, end) that ends a message, or end.
    const std::uint8_t *findTerminator(const std::uint8_t *p, const std::uint8_t *end) const;
    void append(const std::uint8_t *data, std::size_t size);
    void deliver();

    Receiver m_receiver;
    ErrorSink m_errorSink;
    std::optional<std::uint8_t> m_terminator;
    bool m_collecting = false;

    // The partial message is m_buffer[m_begin, m_end). The buffer holds two maximum-length
    // messages, so the latest kMaxMessage bytes are kept by moving m_begin and, at most once
    // per kMaxMessage appended bytes, copying the kept tail back to the front.
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;

    bool m_feeding = false;
    std::vector<std::uint8_t> m_queued; // bytes fed from inside a delivery
};
