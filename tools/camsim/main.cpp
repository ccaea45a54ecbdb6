// kelvra-camsim: the grey-scale camera, simulated on a pseudo-terminal.

#include "camera/PortPaths.h"
#include "tools/camsim/CameraStream.h"
#include "tools/camsim/CamsimOptions.h"
#include "tools/camsim/FramePacer.h"
#include "tools/camsim/PortLink.h"
#include "tools/camsim/ReplayFrames.h"
#include "tools/camsim/SyntheticRelief.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr const char *kProgram = "kelvra-camsim";
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::size_t kCommandBuffer = 256;
// After the last frame of --frames, how long to wait for the viewer to read what is queued:
// closing the master would hang up the line and drop it.
constexpr auto kDrainLimit = std::chrono::seconds(5);
constexpr int kDrainPollMs = 20;

volatile std::sig_atomic_t g_stopSignal = 0;

void onStopSignal(int signal)
{
    g_stopSignal = signal;
}

// Ends the run; thrown rather than exiting so that the port link is removed on the way out.
[[noreturn]] void fail(const std::string &message)
{
    throw std::runtime_error(message);
}

std::string systemError(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// The pseudo-terminal: the master is ours to talk through; the slave is what the viewer
// opens. We keep a slave descriptor of our own open, so the master never sees a hang-up
// when the viewer closes the port and opens it again.
struct Pty
{
    int master = -1;
    int slave = -1;
    std::string slavePath;

    ~Pty()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
};

void openPty(Pty &pty)
{
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0)
        fail(systemError("cannot open a pseudo-terminal"));
    if (::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0)
        fail(systemError("cannot unlock the pseudo-terminal"));
    char name[128] = {};
    if (::ptsname_r(pty.master, name, sizeof name) != 0)
        fail(systemError("cannot name the pseudo-terminal"));
    pty.slavePath = name;
    pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0)
        fail(systemError(("cannot open " + pty.slavePath).c_str()));

    // Raw 8-bit line at the camera's speed: no echo, no line editing, no byte translation.
    termios tio {};
    if (::tcgetattr(pty.slave, &tio) != 0)
        fail(systemError("cannot read the line settings"));
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(pty.slave, TCSANOW, &tio) != 0)
        fail(systemError("cannot set the line settings"));

    const int flags = ::fcntl(pty.master, F_GETFL);
    if (flags < 0 || ::fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) != 0)
        fail(systemError("cannot make the pseudo-terminal non-blocking"));
}

void installSignalHandlers(sigset_t &waitMask)
{
    struct sigaction sa
    {
    };
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // The signals stay blocked except inside ppoll, so none can slip in between checking the
    // flag and going to sleep.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&blocked, s);
    ::sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigdelset(&waitMask, s);
}

// Waits for the descriptor or a stop signal; timeoutMs < 0 waits without limit.
short waitFor(int fd, short events, int timeoutMs, const sigset_t &waitMask)
{
    pollfd pfd {fd, events, 0};
    timespec ts {};
    timespec *timeout = nullptr;
    if (timeoutMs >= 0) {
        ts.tv_sec = timeoutMs / 1000;
        ts.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
        timeout = &ts;
    }
    const int ready = ::ppoll(&pfd, 1, timeout, &waitMask);
    if (ready < 0) {
        if (errno == EINTR)
            return 0;
        fail(systemError("poll failed"));
    }
    return ready > 0 ? pfd.revents : 0;
}

int millisecondsUntil(FramePacer::TimePoint when, FramePacer::TimePoint now)
{
    if (when <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::min<long long>(ms, 60'000));
}

// Waits, bounded, until the viewer has read every byte queued on the line.
void waitForLineDrained(const Pty &pty, const sigset_t &waitMask)
{
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    int emptyChecks = 0;
    while (!g_stopSignal && std::chrono::steady_clock::now() < deadline) {
        int queued = 0;
        if (::ioctl(pty.slave, FIONREAD, &queued) != 0)
            return;
        // Twice empty: bytes just written may not have reached the line's queue yet.
        emptyChecks = queued == 0 ? emptyChecks + 1 : 0;
        if (emptyChecks >= 2)
            return;
        waitFor(pty.master, 0, kDrainPollMs, waitMask);
    }
}

FramePacer makePacer(const CamsimOptions &options)
{
    switch (options.pacing) {
    case CamsimOptions::Pacing::FramesPerSecond:
        return FramePacer::framesPerSecond(options.fps);
    case CamsimOptions::Pacing::Unpaced:
        return FramePacer::unpaced();
    case CamsimOptions::Pacing::LineRate:
        break;
    }
    return FramePacer::lineRate();
}

int run(const CamsimOptions &options)
{
    CameraStream::FrameSource source;
    if (!options.replayFiles.empty()) {
        auto replay = std::make_shared<ReplayFrames>(options.replayFiles);
        source = [replay](std::uint64_t n) { return replay->frame(n); };
    } else {
        auto relief = std::make_shared<SyntheticRelief>(options.seed);
        source = [relief](std::uint64_t n) { return relief->frame(n); };
    }
    CameraStream stream(std::move(source));
    FramePacer pacer = makePacer(options);

    sigset_t waitMask;
    installSignalHandlers(waitMask);

    Pty pty;
    openPty(pty);

    std::optional<PortLink> link;
    try {
        link.emplace(portFolder(), options.port, pty.slavePath);
    } catch (const std::exception &e) {
        fail(std::string("cannot link ") + options.port + ": " + e.what());
    }

    std::printf("%s\n", pty.slavePath.c_str());
    std::fflush(stdout);

    bool writeBlocked = false; // the line is full: wait until it takes bytes again
    while (!g_stopSignal) {
        auto now = FramePacer::Clock::now();

        short events = POLLIN;
        int timeoutMs = -1;
        if (stream.streaming()) {
            const std::size_t remaining = stream.pending().size();
            if (writeBlocked) {
                events |= POLLOUT;
            } else {
                timeoutMs
                    = millisecondsUntil(pacer.nextWrite(stream.offsetInFrame(), remaining), now);
            }
        }
        const short revents = waitFor(pty.master, events, timeoutMs, waitMask);
        if (g_stopSignal)
            break;
        if (revents & (POLLERR | POLLNVAL | POLLHUP))
            fail("the pseudo-terminal failed or hung up");

        // Commands first, so that a 'b' stops the stream before anything more is written.
        if (revents & POLLIN) {
            std::uint8_t commands[kCommandBuffer];
            const ssize_t n = ::read(pty.master, commands, sizeof commands);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                fail(systemError("cannot read from the pseudo-terminal"));
            for (ssize_t i = 0; i < n; ++i) {
                if (stream.command(commands[i]))
                    pacer.restart(FramePacer::Clock::now());
            }
        }
        if (revents & POLLOUT)
            writeBlocked = false;

        if (!stream.streaming() || writeBlocked)
            continue;
        now = FramePacer::Clock::now();
        const std::span<const std::uint8_t> pending = stream.pending();
        if (now < pacer.nextWrite(stream.offsetInFrame(), pending.size()))
            continue;
        const std::size_t allowed = pacer.allowance(now, stream.offsetInFrame(), pending.size());
        if (allowed == 0)
            continue;
        const ssize_t written = ::write(pty.master, pending.data(), allowed);
        if (written < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                writeBlocked = errno == EAGAIN;
                continue;
            }
            fail(systemError("cannot write to the pseudo-terminal"));
        }
        const bool frameDone = stream.consumed(static_cast<std::size_t>(written));
        pacer.sent(now, static_cast<std::size_t>(written), frameDone);
        if (frameDone && options.frames && stream.framesSent() >= *options.frames) {
            waitForLineDrained(pty, waitMask);
            break;
        }
    }

    link->remove();
    return kExitOk;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<CamsimOptions> options = CamsimOptions::parse(args, error);
    if (!options) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return kExitUsage;
    }
    if (options->help) {
        std::fputs(CamsimOptions::usage().c_str(), stdout);
        return kExitOk;
    }
    if (options->version) {
        std::printf("%s %s\n", kProgram, KELVRA_VERSION);
        return kExitOk;
    }
    try {
        return run(*options);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return kExitFailure;
    }
}
