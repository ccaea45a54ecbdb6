#include "tools/frame/FrameImage.h"

#include <algorithm>

namespace FrameImage {

QImage toImage(const std::uint8_t *displayBuffer)
{
    QImage image(kWidth, kHeight, QImage::Format_Grayscale8);
    for (int y = 0; y < kHeight; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < kWidth; ++x)
            line[x] = displayBuffer[displayIndex(x, y)];
    }
    return image;
}

std::string toFrame(const QImage &image)
{
    QImage grey = image;
    if (grey.size() != QSize(kWidth, kHeight)) {
        // Smooth scaling works on 32-bit pixels; grey comes after.
        grey = grey.convertToFormat(QImage::Format_RGB32)
                   .scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (grey.format() != QImage::Format_Grayscale8)
        grey = grey.convertToFormat(QImage::Format_Grayscale8);

    std::string frame(kImageFrameSize, static_cast<char>(kPadding));
    for (int y = 0; y < kHeight; ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = 0; x < kWidth; ++x)
            frame[displayIndex(x, y)] = static_cast<char>(std::clamp(line[x], kMinGrey, kMaxGrey));
    }
    return frame;
}

} // namespace FrameImage
