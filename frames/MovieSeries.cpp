#include "frames/MovieSeries.h"

#include <limits>

namespace {

constexpr std::string_view kMarker = "live_";

bool isDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

} // namespace

std::string MovieSeries::frameName(std::int32_t k) const
{
    return prefix + std::to_string(k) + ".kvr";
}

std::int32_t MovieSeries::next(std::int32_t k) const
{
    return (k < 0 || k >= lastFrame) ? 0 : k + 1;
}

std::optional<MovieSeries> parseMovieSeries(std::string_view chosenPath)
{
    const std::size_t slash = chosenPath.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::string_view name = chosenPath.substr(nameStart);

    const std::size_t marker = name.find(kMarker);
    if (marker == std::string_view::npos)
        return std::nullopt;

    std::size_t pos = marker + kMarker.size();
    if (pos >= name.size() || !isDigit(name[pos]))
        return std::nullopt;

    // Accumulate in 64 bits and stop as soon as the value leaves the 32-bit range, so any
    // number of digits is safe.
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (; pos < name.size() && isDigit(name[pos]); ++pos) {
        value = value * 10 + (name[pos] - '0');
        if (value > kMax)
            return std::nullopt;
    }

    MovieSeries series;
    series.prefix = std::string(chosenPath.substr(0, nameStart + marker + kMarker.size()));
    series.lastFrame = static_cast<std::int32_t>(value);
    return series;
}
