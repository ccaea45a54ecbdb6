// Frame files: any frame the writer stores reads back byte for byte, and decoding any file
// bytes stays inside the frame buffer and leaves a zero after the data.
//
// Input: the whole input is taken as file bytes to decode; the input cut at its first 0x00
// (at most kMaxFrameRead bytes) is taken as a frame to write and read back. About one input
// in sixteen also takes the frame through a real file.

#include "frames/FrameFile.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTempFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr std::uint8_t kPoison = 0xA5; // what the buffer holds before a decode

// A buffer of exactly kFrameBufferSize bytes on the heap, so that AddressSanitizer catches a
// write past it.
std::unique_ptr<std::uint8_t[]> poisonedBuffer()
{
    auto buffer = std::make_unique<std::uint8_t[]>(kFrameBufferSize);
    std::fill(buffer.get(), buffer.get() + kFrameBufferSize, kPoison);
    return buffer;
}

bool holds(const std::uint8_t *buffer, std::string_view bytes)
{
    return bytes.empty() || std::memcmp(buffer, bytes.data(), bytes.size()) == 0;
}

// Everything from index from to the end of the buffer is zero.
bool zeroFrom(const std::uint8_t *buffer, std::size_t from)
{
    return std::all_of(buffer + from, buffer + kFrameBufferSize,
                       [](std::uint8_t b) { return b == 0; });
}

void checkDecodeAnyBytes(std::string_view onDisk)
{
    // Reference: each 0x0D right before a 0x0A is dropped, every other byte kept, at most
    // kMaxFrameRead bytes.
    std::string expected;
    std::size_t used = 0;
    for (; used < onDisk.size() && expected.size() < kMaxFrameRead; ++used) {
        if (onDisk[used] == kCr && used + 1 < onDisk.size() && onDisk[used + 1] == kLf)
            continue;
        expected.push_back(onDisk[used]);
    }

    const auto buffer = poisonedBuffer();
    std::size_t consumed = 0;
    const std::size_t count = decodeFrame(onDisk, buffer.get(), &consumed);
    FUZZ_CHECK(count == expected.size());
    FUZZ_CHECK(holds(buffer.get(), expected));
    FUZZ_CHECK(zeroFrom(buffer.get(), count));
    FUZZ_CHECK(consumed == used);
}

void checkRoundTrip(std::string_view frame)
{
    const std::string encoded = encodeFrame(frame);
    const auto lineFeeds = static_cast<std::size_t>(std::count(frame.begin(), frame.end(), kLf));
    FUZZ_CHECK(encoded.size() == frame.size() + lineFeeds);

    const auto buffer = poisonedBuffer();
    std::size_t consumed = 0;
    const std::size_t count = decodeFrame(encoded, buffer.get(), &consumed);
    FUZZ_CHECK(count == frame.size());
    FUZZ_CHECK(holds(buffer.get(), frame));
    FUZZ_CHECK(zeroFrom(buffer.get(), count));
    FUZZ_CHECK(consumed == encoded.size());
}

// An empty frame is passed either as a null pointer or as "", as nullForEmpty says.
void checkFileRoundTrip(std::string_view frame, bool nullForEmpty)
{
    const std::string path = fuzzTempPath("frame-file");
    const std::string zeroTerminated(frame);
    const bool passNull = frame.empty() && nullForEmpty;
    const FrameWriteResult written = writeFrameFile(
        path, passNull ? nullptr : reinterpret_cast<const std::uint8_t *>(zeroTerminated.c_str()));
    FUZZ_CHECK(written.error == 0);
    FUZZ_CHECK(written.saved() == !frame.empty());
    FUZZ_CHECK(fuzzReadFile(path) == encodeFrame(frame));
    FUZZ_CHECK(written.bytesWritten == encodeFrame(frame).size());

    const auto buffer = poisonedBuffer();
    const FrameReadResult read = readFrameFile(path, buffer.get());
    std::filesystem::remove(path);
    FUZZ_CHECK(read.ok());
    FUZZ_CHECK(!read.truncated);
    FUZZ_CHECK(read.bytesRead == frame.size());
    FUZZ_CHECK(holds(buffer.get(), frame));
    FUZZ_CHECK(zeroFrom(buffer.get(), frame.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    checkDecodeAnyBytes(input);

    // The writer stores up to the first zero byte, whatever follows it.
    const std::string_view upToZero = input.substr(0, input.find('\0'));
    FUZZ_CHECK(encodeFrame(input) == encodeFrame(upToZero));

    const std::string_view frame = upToZero.substr(0, kMaxFrameRead);
    checkRoundTrip(frame);
    const std::size_t hash = std::hash<std::string_view> {}(input);
    if (hash % 16 == 0)
        checkFileRoundTrip(frame, hash / 16 % 2 == 0);
    return 0;
}
