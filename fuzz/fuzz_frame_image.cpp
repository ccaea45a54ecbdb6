// kelvra-frame's reading of a .kvr file into the picture the viewer shows: any file loads
// into the buffer as the file format decodes it, the picture shows the buffer's bytes at the
// documented indexes, and the frame made from that picture loads back as the same picture
// (grey limited to 1..254). Images of other sizes make a frame of the fixed size.
//
// Input: the whole input is the content of the .kvr file; its first two bytes also give the
// size of a second picture made of the file's bytes.

#include "frames/FrameFile.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTempFile.h"
#include "tools/frame/FrameImage.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

using Buffer = std::array<std::uint8_t, kFrameBufferSize>;

bool showsBuffer(const QImage &image, const Buffer &buffer)
{
    for (int y = 0; y < FrameImage::kHeight; ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < FrameImage::kWidth; ++x) {
            const std::size_t index = FrameImage::displayIndex(x, y);
            FUZZ_CHECK(index >= 1 && index <= FrameImage::kPixelCount);
            if (line[x] != buffer[index])
                return false;
        }
    }
    return true;
}

// A frame the tool writes: its size, no zero byte (it would cut the frame), grey limits.
void checkMadeFrame(const std::string &frame)
{
    FUZZ_CHECK(frame.size() == FrameImage::kImageFrameSize);
    FUZZ_CHECK(static_cast<std::uint8_t>(frame[0]) == FrameImage::kPadding);
    FUZZ_CHECK(std::all_of(frame.begin() + 1, frame.end(), [](char ch) {
        const auto grey = static_cast<std::uint8_t>(ch);
        return grey >= FrameImage::kMinGrey && grey <= FrameImage::kMaxGrey;
    }));
}

// The picture, made into a frame, stored and loaded again, is the picture with its grey
// values limited to 1..254.
void checkPictureRoundTrip(const QImage &image)
{
    const std::string frame = FrameImage::toFrame(image);
    checkMadeFrame(frame);
    Buffer loaded {};
    const std::size_t count = decodeFrame(encodeFrame(frame), loaded.data());
    FUZZ_CHECK(count == frame.size());
    const QImage again = FrameImage::toImage(loaded.data());
    for (int y = 0; y < FrameImage::kHeight; ++y) {
        for (int x = 0; x < FrameImage::kWidth; ++x) {
            const uchar before = image.constScanLine(y)[x];
            FUZZ_CHECK(again.constScanLine(y)[x]
                       == std::clamp(before, FrameImage::kMinGrey, FrameImage::kMaxGrey));
        }
    }
}

// A picture of any size from the file's bytes: toFrame scales it to the frame's size.
void checkOtherSize(std::string_view bytes)
{
    if (bytes.size() < 2)
        return;
    const int width = 1 + static_cast<std::uint8_t>(bytes[0]) % 200;
    const int height = 1 + static_cast<std::uint8_t>(bytes[1]) % 200;
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::size_t at = 2 + std::size_t(y) * std::size_t(width) + std::size_t(x);
            line[x] = at < bytes.size() ? static_cast<uchar>(bytes[at]) : uchar(0);
        }
    }
    checkMadeFrame(FrameImage::toFrame(image));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view file(reinterpret_cast<const char *>(data), size);
    const std::string path = fuzzTempPath("frame-image");
    FUZZ_CHECK(fuzzWriteFile(path, file));
    Buffer buffer;
    buffer.fill(0xA5);
    const FrameReadResult read = readFrameFile(path, buffer.data());
    std::filesystem::remove(path);

    // The load gives what the format decodes from the same bytes, the zero after it included.
    Buffer decoded {};
    std::size_t consumed = 0;
    const std::size_t count = decodeFrame(file, decoded.data(), &consumed);
    FUZZ_CHECK(read.ok());
    FUZZ_CHECK(read.bytesRead == count);
    FUZZ_CHECK(read.truncated == (consumed < file.size()));
    FUZZ_CHECK(buffer == decoded);
    FUZZ_CHECK(buffer[count] == 0);
    checkOtherSize(file);
    if (read.truncated)
        return 0; // the tool refuses a frame longer than a buffer holds

    const QImage image = FrameImage::toImage(buffer.data());
    FUZZ_CHECK(image.width() == FrameImage::kWidth && image.height() == FrameImage::kHeight);
    FUZZ_CHECK(image.format() == QImage::Format_Grayscale8);
    FUZZ_CHECK(showsBuffer(image, buffer));
    checkPictureRoundTrip(image);
    return 0;
}
