#include "tools/camsim/CamsimOptions.h"

#include "camera/PortPaths.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace {

constexpr double kMaxFps = 1000.0;

template<typename T> bool parseNumber(std::string_view text, T &value)
{
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

} // namespace

std::optional<CamsimOptions> CamsimOptions::parse(const std::vector<std::string> &args,
                                                  std::string &error)
{
    CamsimOptions o;
    bool fpsGiven = false;
    bool unpacedGiven = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        // The value of an option: "--opt=value" or the next argument.
        const auto value = [&](std::string &out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        const auto noValue = [&] {
            if (inlineValue)
                error = "option " + name + " takes no value";
            return !inlineValue;
        };

        std::string v;
        if (name == "--help" || name == "-h") {
            if (!noValue())
                return std::nullopt;
            o.help = true;
        } else if (name == "--version") {
            if (!noValue())
                return std::nullopt;
            o.version = true;
        } else if (name == "--unpaced") {
            if (!noValue())
                return std::nullopt;
            unpacedGiven = true;
        } else if (name == "--port") {
            if (!value(v))
                return std::nullopt;
            if (!comPortNumber(v)) {
                error = "bad port name '" + v + "' (expected COM1, COM2, ...)";
                return std::nullopt;
            }
            o.port = v;
        } else if (name == "--fps") {
            if (!value(v))
                return std::nullopt;
            if (!parseNumber(v, o.fps) || !std::isfinite(o.fps) || o.fps <= 0.0
                || o.fps > kMaxFps) {
                error = "bad frame rate '" + v + "' (expected a number above 0, up to 1000)";
                return std::nullopt;
            }
            fpsGiven = true;
        } else if (name == "--seed") {
            if (!value(v))
                return std::nullopt;
            if (!parseNumber(v, o.seed)) {
                error = "bad seed '" + v + "' (expected a whole number)";
                return std::nullopt;
            }
        } else if (name == "--frames") {
            if (!value(v))
                return std::nullopt;
            std::uint64_t n = 0;
            if (!parseNumber(v, n) || n == 0) {
                error = "bad frame count '" + v + "' (expected a whole number above 0)";
                return std::nullopt;
            }
            o.frames = n;
        } else if (name == "--replay") {
            if (inlineValue)
                o.replayFiles.push_back(*inlineValue);
            while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
                o.replayFiles.push_back(args[++i]);
            if (o.replayFiles.empty()) {
                error = "option --replay needs at least one file";
                return std::nullopt;
            }
        } else {
            error = "unknown option '" + args[i] + "' (try --help)";
            return std::nullopt;
        }
    }

    if (fpsGiven && unpacedGiven) {
        error = "--fps and --unpaced cannot be combined";
        return std::nullopt;
    }
    if (fpsGiven)
        o.pacing = Pacing::FramesPerSecond;
    else if (unpacedGiven)
        o.pacing = Pacing::Unpaced;
    return o;
}

std::string CamsimOptions::usage()
{
    return "Usage: kelvra-camsim [options]\n"
           "Simulates the grey-scale camera on a pseudo-terminal: it starts streaming frames on\n"
           "the byte 'a' and stops on 'b'. Each frame is 128 x 123 pixel bytes (1..254) and 0xFF.\n"
           "\n"
           "Options:\n"
           "  --port COMn       link the port name COMn to the simulator (default COM1); the\n"
           "                    link lives in $XDG_CONFIG_HOME/kelvra23/ports\n"
           "  --fps N           send whole frames, N per second (default: the 115200 8N1\n"
           "                    line rate, about 1.37 s per frame)\n"
           "  --unpaced         send as fast as the reader takes the bytes\n"
           "  --seed N          pick the synthetic relief (default 1)\n"
           "  --replay FILE...  loop over recorded .kvr frames instead of the relief\n"
           "  --frames N        exit after sending N frames\n"
           "  --help            show this help\n"
           "  --version         show the version\n"
           "\n"
           "The pseudo-terminal's path is printed on standard output.\n";
}
