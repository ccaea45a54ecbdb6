#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A recorded series of live files played as a loop: frames 0 to lastFrame, named
// <prefix><k>.kvr with k in decimal without leading zeros.
struct MovieSeries
{
    std::string prefix; // folder as the chosen path spells it, then the name up to "live_"
    std::int32_t lastFrame = 0; // 0 or more

    // The file name of frame k: prefix + k + ".kvr".
    std::string frameName(std::int32_t k) const;

    // The frame after k in the loop 0, 1, ..., lastFrame, 0, ...: k + 1, or 0 after lastFrame
    // (and for any k outside 0..lastFrame). Never overflows.
    std::int32_t next(std::int32_t k) const;
};

// The series of the file the user chose. The number is the run of decimal digits right after
// the first "live_" (matched with case) in the file's own name, the last '/'-separated
// component; folder names play no part. Returns nothing when the name has no "live_", no
// digit after it, or a number above INT32_MAX. "run1_live_12.kvr" gives prefix "run1_live_"
// and lastFrame 12; "live_03.kvr" gives 3.
std::optional<MovieSeries> parseMovieSeries(std::string_view chosenPath);
