#pragma once

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

// Writes a byte stream into a pseudo-terminal's master from a thread of its own, so that the
// UI thread stays free to read the other end, as it would with a real camera. The stream comes
// from a generator, a chunk at a time; writing starts at construction and ends when the
// generator runs dry, the line fails, or stop() is called. The master must be non-blocking.
class PtyWriter
{
public:
    // Fills up to size bytes at data and returns how many; 0 ends the stream. Runs on the
    // writer's thread.
    using Generator = std::function<std::size_t(char *data, std::size_t size)>;

    static constexpr std::size_t kChunkBytes = 65536;
    static constexpr int kPollMs = 20; // how soon a stop is noticed while the line is full

    // The bytes of stream, once.
    static Generator once(const QByteArray &stream)
    {
        auto offset = std::make_shared<qsizetype>(0);
        return [stream, offset](char *data, std::size_t size) {
            const auto n = std::min<qsizetype>(stream.size() - *offset, qsizetype(size));
            std::memcpy(data, stream.constData() + *offset, std::size_t(n));
            *offset += n;
            return std::size_t(n);
        };
    }

    // pattern, again and again, until stopped.
    static Generator endless(const QByteArray &pattern)
    {
        auto offset = std::make_shared<qsizetype>(0);
        return [pattern, offset](char *data, std::size_t size) {
            std::size_t done = 0;
            while (done < size) {
                const auto n
                    = std::min<qsizetype>(pattern.size() - *offset, qsizetype(size - done));
                std::memcpy(data + done, pattern.constData() + *offset, std::size_t(n));
                done += std::size_t(n);
                *offset = (*offset + n) % pattern.size();
            }
            return done;
        };
    }

    // total bytes, all of them byte.
    static Generator filled(std::uint8_t byte, std::uint64_t total)
    {
        auto left = std::make_shared<std::uint64_t>(total);
        return [byte, left](char *data, std::size_t size) {
            const auto n = std::size_t(std::min<std::uint64_t>(*left, size));
            std::memset(data, byte, n);
            *left -= n;
            return n;
        };
    }

    // total pseudo-random bytes (xorshift64*), the same for the same seed (seed != 0).
    static Generator random(std::uint64_t seed, std::uint64_t total)
    {
        auto left = std::make_shared<std::uint64_t>(total);
        auto state = std::make_shared<std::uint64_t>(seed);
        return [left, state](char *data, std::size_t size) {
            const auto n = std::size_t(std::min<std::uint64_t>(*left, size));
            for (std::size_t i = 0; i < n; i += sizeof(std::uint64_t)) {
                std::uint64_t &x = *state;
                x ^= x >> 12;
                x ^= x << 25;
                x ^= x >> 27;
                const std::uint64_t word = x * 0x2545F4914F6CDD1DULL;
                std::memcpy(data + i, &word, std::min(sizeof word, n - i));
            }
            *left -= n;
            return n;
        };
    }

    PtyWriter(int masterFd, Generator generator)
        : m_fd(masterFd)
        , m_generator(std::move(generator))
        , m_chunk(kChunkBytes)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~PtyWriter() { stop(); }
    PtyWriter(const PtyWriter &) = delete;
    PtyWriter &operator=(const PtyWriter &) = delete;

    // Ends the stream where it is and waits for the thread.
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    // The thread is done: the whole stream went out, the line failed, or it was stopped.
    bool finished() const { return m_finished; }
    bool failed() const { return m_failed; }
    std::uint64_t bytesWritten() const { return m_written; }

private:
    void run()
    {
        std::size_t have = 0;
        std::size_t sent = 0;
        while (!m_stop) {
            if (sent == have) {
                have = m_generator(m_chunk.data(), m_chunk.size());
                sent = 0;
                if (have == 0)
                    break;
            }
            const ssize_t n = ::write(m_fd, m_chunk.data() + sent, have - sent);
            if (n > 0) {
                sent += std::size_t(n);
                m_written += std::uint64_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                m_failed = true;
                break;
            }
            // The line is full: wait until the reader takes some, or a stop.
            pollfd p {m_fd, POLLOUT, 0};
            if (::poll(&p, 1, kPollMs) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
                m_failed = true;
                break;
            }
        }
        m_finished = true;
    }

    const int m_fd;
    Generator m_generator;
    std::vector<char> m_chunk;
    std::atomic<bool> m_stop {false};
    std::atomic<bool> m_finished {false};
    std::atomic<bool> m_failed {false};
    std::atomic<std::uint64_t> m_written {0};
    std::thread m_thread;
};
