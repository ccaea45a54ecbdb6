#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The command line of kelvra-camsim.
struct CamsimOptions
{
    enum class Pacing { LineRate, FramesPerSecond, Unpaced };

    std::string port = "COM1"; // the port name whose link points at the simulator
    Pacing pacing = Pacing::LineRate;
    double fps = 0.0; // frames per second, > 0 with Pacing::FramesPerSecond
    std::uint64_t seed = 1; // picks the synthetic relief
    std::vector<std::string> replayFiles; // .kvr frames to loop instead of the relief
    std::optional<std::uint64_t> frames; // stop after this many frames (>= 1)
    bool help = false;
    bool version = false;

    // Parses the arguments after the program name. On a bad command line returns nothing and
    // sets error to a one-line message (without the program name).
    static std::optional<CamsimOptions> parse(const std::vector<std::string> &args,
                                              std::string &error);
    static std::string usage();
};
