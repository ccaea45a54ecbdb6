#include "frames/FrameFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

// Enough file bytes to decode kMaxFrameRead bytes even when all are 0x0D 0x0A pairs, plus one:
// the look-ahead after a last 0x0D and the sign that the file goes on past the limit both fall
// within it.
constexpr std::size_t kMaxRawRead = 2 * kMaxFrameRead + 1;

std::string errnoText(int error)
{
    return std::generic_category().message(error);
}

template<typename Result> Result failure(int error, std::string reason = {})
{
    Result result;
    result.error = error;
    result.reason = reason.empty() ? errnoText(error) : std::move(reason);
    return result;
}

// Closes fd, retrying nothing: after EINTR the descriptor is gone on Linux.
int closeFd(int fd)
{
    return ::close(fd) == 0 ? 0 : errno;
}

} // namespace

std::string encodeFrame(std::string_view frame)
{
    const std::size_t end = std::min(frame.find('\0'), frame.size());
    std::string out;
    out.reserve(end + end / 8);
    for (std::size_t i = 0; i < end; ++i) {
        if (static_cast<std::uint8_t>(frame[i]) == kLf)
            out.push_back(static_cast<char>(kCr));
        out.push_back(frame[i]);
    }
    return out;
}

std::size_t decodeFrame(std::string_view onDisk, std::uint8_t *buffer, std::size_t *consumed)
{
    std::size_t in = 0;
    std::size_t out = 0;
    while (out < kMaxFrameRead && in < onDisk.size()) {
        const auto byte = static_cast<std::uint8_t>(onDisk[in]);
        if (byte == kCr && in + 1 < onDisk.size()
            && static_cast<std::uint8_t>(onDisk[in + 1]) == kLf) {
            buffer[out++] = kLf;
            in += 2;
        } else {
            buffer[out++] = byte;
            ++in;
        }
    }
    std::fill(buffer + out, buffer + kFrameBufferSize, std::uint8_t {0});
    if (consumed)
        *consumed = in;
    return out;
}

FrameWriteResult writeFrameFile(const std::string &path, const std::uint8_t *zeroTerminatedBytes)
{
    // O_NONBLOCK keeps a FIFO planted under the name from hanging the window; it changes
    // nothing for regular files.
    const int fd
        = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return failure<FrameWriteResult>(errno);

    FrameWriteResult result;
    if (zeroTerminatedBytes) {
        const std::string encoded
            = encodeFrame(reinterpret_cast<const char *>(zeroTerminatedBytes));
        // Unbuffered writes, so a full disk shows up here and not in a later flush.
        while (result.bytesWritten < encoded.size()) {
            const ssize_t n = ::write(fd, encoded.data() + result.bytesWritten,
                                      encoded.size() - result.bytesWritten);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                result.error = n < 0 ? errno : EIO;
                break;
            }
            result.bytesWritten += static_cast<std::size_t>(n);
        }
    }
    const int closeError = closeFd(fd);
    if (result.error == 0)
        result.error = closeError;
    if (result.error != 0)
        result.reason = errnoText(result.error);
    return result;
}

FrameReadResult readFrameFile(const std::string &path, std::uint8_t *buffer)
{
    if (!buffer)
        return failure<FrameReadResult>(EINVAL, "No buffer to read into");
    std::fill(buffer, buffer + kFrameBufferSize, std::uint8_t {0});

    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failure<FrameReadResult>(errno);

    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        closeFd(fd);
        return failure<FrameReadResult>(error);
    }
    if (S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
        closeFd(fd);
        if (S_ISDIR(info.st_mode))
            return failure<FrameReadResult>(EISDIR);
        return failure<FrameReadResult>(EINVAL,
                                        S_ISFIFO(info.st_mode) ? "Is a FIFO, not a frame file"
                                                               : "Is a socket, not a frame file");
    }

    std::string raw(kMaxRawRead, '\0');
    std::size_t have = 0;
    int error = 0;
    while (have < raw.size()) {
        const ssize_t n = ::read(fd, raw.data() + have, raw.size() - have);
        if (n > 0) {
            have += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            error = errno;
        break; // a device with nothing more to give ends the frame
    }
    closeFd(fd); // read-only: a failed close loses nothing
    if (error != 0)
        return failure<FrameReadResult>(error);

    raw.resize(have);
    FrameReadResult result;
    std::size_t consumed = 0;
    result.bytesRead = decodeFrame(raw, buffer, &consumed);
    result.truncated = consumed < raw.size();
    return result;
}

std::string liveFileName(std::int32_t n)
{
    return "./live_" + std::to_string(n) + ".kvr";
}

std::string frozenFileName(std::int32_t n)
{
    return "./frozen_" + std::to_string(n) + ".kvr";
}
