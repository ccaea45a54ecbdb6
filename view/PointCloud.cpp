#include "view/PointCloud.h"

namespace PointCloud {

void build(const std::uint8_t *displayBuffer, int heightRatio, int brightDivisor,
           std::vector<std::int16_t> &xyz, std::vector<std::uint8_t> &rgb)
{
    xyz.resize(std::size_t(kPoints) * 3);
    rgb.resize(std::size_t(kPoints) * 3);
    std::int16_t *p = xyz.data();
    std::uint8_t *col = rgb.data();
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const std::uint8_t v = displayBuffer[bufferIndex(r, c)];
            *p++ = static_cast<std::int16_t>(sceneX(c));
            *p++ = static_cast<std::int16_t>(sceneY(r));
            *p++ = static_cast<std::int16_t>(height(v, heightRatio));
            const std::uint8_t grey = colourFromGrey(greyByte(v, brightDivisor));
            *col++ = grey;
            *col++ = grey;
            *col++ = grey;
        }
    }
}

} // namespace PointCloud
