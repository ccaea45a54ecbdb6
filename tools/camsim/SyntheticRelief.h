#pragma once

#include <cstdint>
#include <vector>

// A moving synthetic relief: a gently rippled floor with a few smooth bumps drifting on
// Lissajous paths, and one narrow bright peak. Most pixels stay within 1..127 (readable at
// the viewer's default brightness); the peak reaches towards 254.
// The picture depends only on the seed and the frame number.
class SyntheticRelief
{
public:
    explicit SyntheticRelief(std::uint64_t seed);

    // CameraFrame::kPixels bytes in row order, each within 1..254.
    std::vector<std::uint8_t> frame(std::uint64_t frameNumber) const;

private:
    struct Bump
    {
        double amplitude; // brightness added at the centre
        double sigma; // radius in pixels
        double ampX, ampY; // path extent in pixels
        double speedX, speedY; // radians per frame
        double phaseX, phaseY;
    };
    std::vector<Bump> m_bumps;
    double m_ripplePhase = 0.0;
};
