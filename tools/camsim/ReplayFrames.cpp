#include "tools/camsim/ReplayFrames.h"

#include "tools/camsim/CameraFrame.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

std::vector<std::uint8_t> ReplayFrames::decode(std::string_view fileBytes)
{
    using namespace CameraFrame;
    std::vector<std::uint8_t> pixels;
    pixels.reserve(kPixels);
    for (std::size_t i = 0; i < fileBytes.size() && pixels.size() < kPixels; ++i) {
        const auto b = static_cast<std::uint8_t>(fileBytes[i]);
        if (b == '\r' && i + 1 < fileBytes.size() && fileBytes[i + 1] == '\n')
            continue; // the LF that follows stands for both
        pixels.push_back(std::clamp(b, kMinPixel, kMaxPixel));
    }
    pixels.resize(kPixels, kMinPixel);
    return pixels;
}

ReplayFrames::ReplayFrames(const std::vector<std::string> &files)
{
    if (files.empty())
        throw std::runtime_error("no replay files given");
    for (const std::string &name : files) {
        std::ifstream in(name, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read " + name + ": " + std::strerror(errno));
        const std::string bytes {std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
        if (in.bad())
            throw std::runtime_error("cannot read " + name);
        m_frames.push_back(decode(bytes));
    }
}
