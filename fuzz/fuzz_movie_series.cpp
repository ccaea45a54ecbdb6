// The movie's name rule on any path: parsing never fails badly, an accepted series names its
// own frames (the last frame's name parses back to the same series), and stepping through
// the loop stays within 0..lastFrame.
//
// Input: the whole input is the chosen path.

#include "frames/MovieSeries.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kMarker = "live_";
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();

bool isDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// The number in a run of decimal digits, or -1 when it is past INT32_MAX. Leading zeros are
// dropped first, so that the length alone rules out numbers that cannot fit.
std::int64_t digitValue(std::string_view digits)
{
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    if (digits.size() > 10)
        return -1;
    std::int64_t value = 0;
    for (const char ch : digits)
        value = value * 10 + (ch - '0');
    return value > kMaxInt ? -1 : value;
}

void checkLoop(const MovieSeries &series)
{
    const std::int32_t last = series.lastFrame;
    for (const std::int32_t k : {0, last, last - 1, last / 2, -1, kMinInt, kMaxInt}) {
        const std::int32_t next = series.next(k);
        FUZZ_CHECK(next >= 0 && next <= last);
        FUZZ_CHECK(next == (k >= 0 && k < last ? k + 1 : 0));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view path(reinterpret_cast<const char *>(data), size);
    const std::optional<MovieSeries> series = parseMovieSeries(path);

    // Where the number should be: right after the first "live_" of the last path component.
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t marker = path.find(kMarker, nameStart);
    std::size_t digitsEnd
        = marker == std::string_view::npos ? path.size() : marker + kMarker.size();
    const std::size_t digitsStart = digitsEnd;
    while (digitsEnd < path.size() && isDigit(path[digitsEnd]))
        ++digitsEnd;
    const std::int64_t expected = marker == std::string_view::npos || digitsEnd == digitsStart
        ? -1
        : digitValue(path.substr(digitsStart, digitsEnd - digitsStart));

    FUZZ_CHECK(series.has_value() == (expected >= 0));
    if (!series)
        return 0;
    FUZZ_CHECK(series->lastFrame == expected);
    FUZZ_CHECK(series->prefix == path.substr(0, digitsStart));

    for (const std::int32_t k : {series->lastFrame, 0}) {
        const std::optional<MovieSeries> again = parseMovieSeries(series->frameName(k));
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(again->prefix == series->prefix);
        FUZZ_CHECK(again->lastFrame == k);
    }
    checkLoop(*series);
    return 0;
}
