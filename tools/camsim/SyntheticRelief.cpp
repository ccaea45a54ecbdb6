#include "tools/camsim/SyntheticRelief.h"

#include "tools/camsim/CameraFrame.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// splitmix64: small, fast and the same everywhere, so a seed gives the same relief on every
// machine (std:: distributions are not portable across library implementations).
class SplitMix64
{
public:
    explicit SplitMix64(std::uint64_t seed)
        : m_state(seed)
    {
    }
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi).
    double uniform(double lo, double hi)
    {
        return lo + (hi - lo) * static_cast<double>(next() >> 11) * 0x1.0p-53;
    }

private:
    std::uint64_t m_state;
};

constexpr int kBumps = 4;
constexpr double kFloor = 14.0;
constexpr double kRipple = 6.0;

} // namespace

SyntheticRelief::SyntheticRelief(std::uint64_t seed)
{
    SplitMix64 rng(seed);
    for (int i = 0; i < kBumps; ++i) {
        Bump b {};
        b.amplitude = rng.uniform(30.0, 50.0);
        b.sigma = rng.uniform(9.0, 18.0);
        b.ampX = rng.uniform(20.0, 50.0);
        b.ampY = rng.uniform(18.0, 45.0);
        b.speedX = rng.uniform(0.03, 0.09);
        b.speedY = rng.uniform(0.03, 0.09);
        b.phaseX = rng.uniform(0.0, 2 * std::numbers::pi);
        b.phaseY = rng.uniform(0.0, 2 * std::numbers::pi);
        m_bumps.push_back(b);
    }
    // The narrow peak: tall and small, so it uses the upper range without washing out the view.
    Bump peak {};
    peak.amplitude = 200.0;
    peak.sigma = 2.5;
    peak.ampX = rng.uniform(30.0, 45.0);
    peak.ampY = rng.uniform(25.0, 40.0);
    peak.speedX = rng.uniform(0.02, 0.05);
    peak.speedY = rng.uniform(0.02, 0.05);
    peak.phaseX = rng.uniform(0.0, 2 * std::numbers::pi);
    peak.phaseY = rng.uniform(0.0, 2 * std::numbers::pi);
    m_bumps.push_back(peak);
    m_ripplePhase = rng.uniform(0.0, 2 * std::numbers::pi);
}

std::vector<std::uint8_t> SyntheticRelief::frame(std::uint64_t frameNumber) const
{
    using namespace CameraFrame;
    const double t = static_cast<double>(frameNumber);
    const double centreX = (kWidth - 1) / 2.0;
    const double centreY = (kHeight - 1) / 2.0;

    struct Placed
    {
        double x, y, amplitude, inv2s2;
    };
    std::vector<Placed> placed;
    placed.reserve(m_bumps.size());
    for (const Bump &b : m_bumps)
        placed.push_back({centreX + b.ampX * std::sin(b.speedX * t + b.phaseX),
                          centreY + b.ampY * std::sin(b.speedY * t + b.phaseY), b.amplitude,
                          1.0 / (2.0 * b.sigma * b.sigma)});

    std::vector<std::uint8_t> pixels(kPixels);
    for (std::size_t y = 0; y < kHeight; ++y) {
        const double ry = std::cos(0.09 * static_cast<double>(y) + 0.04 * t);
        for (std::size_t x = 0; x < kWidth; ++x) {
            double v = kFloor
                + kRipple * std::sin(0.11 * static_cast<double>(x) + m_ripplePhase + 0.07 * t) * ry;
            for (const Placed &p : placed) {
                const double dx = static_cast<double>(x) - p.x;
                const double dy = static_cast<double>(y) - p.y;
                v += p.amplitude * std::exp(-(dx * dx + dy * dy) * p.inv2s2);
            }
            pixels[y * kWidth + x] = static_cast<std::uint8_t>(
                std::clamp(std::lround(v), long {kMinPixel}, long {kMaxPixel}));
        }
    }
    return pixels;
}
