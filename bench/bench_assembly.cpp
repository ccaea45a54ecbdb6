// Frame assembly throughput: 100 MB of camera frames against 100 MB with no terminator.
// The two must cost about the same: a long unterminated run may not make assembly slower.

#include "camera/FrameAssembler.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kStreamBytes = 100'000'000;
constexpr std::size_t kFramePixels = 15744;
constexpr std::size_t kBatchBytes = 4096; // a typical read from the port
constexpr int kRuns = 3; // best of, to stay clear of other load on the machine

std::vector<std::uint8_t> framedStream()
{
    std::vector<std::uint8_t> frame(kFramePixels + 1);
    for (std::size_t i = 0; i < kFramePixels; ++i)
        frame[i] = static_cast<std::uint8_t>(1 + (i * 7) % 254);
    frame.back() = 0xFF;
    std::vector<std::uint8_t> stream(kStreamBytes);
    for (std::size_t i = 0; i < kStreamBytes; ++i)
        stream[i] = frame[i % frame.size()];
    return stream;
}

std::vector<std::uint8_t> unterminatedStream()
{
    std::vector<std::uint8_t> stream(kStreamBytes);
    for (std::size_t i = 0; i < kStreamBytes; ++i)
        stream[i] = static_cast<std::uint8_t>(1 + (i * 7) % 254);
    return stream;
}

// Best time in seconds to feed the stream in port-sized batches.
double secondsToFeed(const std::vector<std::uint8_t> &stream, std::size_t &delivered)
{
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        FrameAssembler assembler;
        assembler.setTerminator(0xFF);
        std::size_t bytes = 0;
        assembler.setReceiver([&](const std::string &m) { bytes += m.size(); });

        const auto start = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at < stream.size(); at += kBatchBytes)
            assembler.feed(stream.data() + at, std::min(kBatchBytes, stream.size() - at));
        const auto end = std::chrono::steady_clock::now();

        best = std::min(best, std::chrono::duration<double>(end - start).count());
        delivered = bytes + assembler.pendingSize();
    }
    return best;
}

} // namespace

int main()
{
    std::size_t framedOut = 0;
    std::size_t unterminatedOut = 0;
    const double framed = secondsToFeed(framedStream(), framedOut);
    const double unterminated = secondsToFeed(unterminatedStream(), unterminatedOut);
    if (framedOut == 0 || unterminatedOut != FrameAssembler::kMaxMessage) {
        std::fprintf(stderr, "bench_assembly: unexpected output\n");
        return 1;
    }

    const double mb = double(kStreamBytes) / 1e6;
    std::printf("assembly.frames_MBps %.1f\n", mb / framed);
    std::printf("assembly.unterminated_MBps %.1f\n", mb / unterminated);
    std::printf("assembly.unterminated_over_frames_cost_ratio %.3f\n", unterminated / framed);
    return 0;
}
