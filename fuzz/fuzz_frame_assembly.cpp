// Feeds the assembler a byte stream cut into batches and compares every delivery with a
// byte-at-a-time reference model of the framing rules.
//
// Input: byte 0 and byte 1 steer the run, the rest is the payload.
//   byte 0, bits 0-1: batching (one batch, byte by byte, short random, long random batches)
//   byte 0, bits 2-4: the payload is fed 1, 2, 4, ... or 128 times over (the stream capped at
//                     kMaxStream bytes), so that short inputs make messages far past the
//                     16384-byte limit
//   byte 0, bit 5:    one terminator byte (0xFF when none is set) follows the last repeat
//   byte 1, bits 0-1: terminator 0xFF, 0x00 (never matches: zeros are replaced first), 0x20
//                     (which a 0x00 also becomes), or none set
//   byte 1, bit 2:    the receiver feeds bytes from inside some deliveries
//   byte 1, bit 3:    the receiver throws on some deliveries
//   byte 0 and 1:     also seed the batch sizes

#include "camera/FrameAssembler.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kLimit = 16384; // bytes a message keeps
constexpr std::size_t kMaxStream = 4 * kLimit; // keeps one run short
constexpr int kMaxReentrantFeeds = 32; // bounds the bytes a receiver adds to the stream

struct Options
{
    int batching = 0;
    int repeats = 1;
    bool closed = false;
    std::optional<std::uint8_t> terminator;
    bool reentrant = false;
    bool throwing = false;
    std::uint32_t seed = 1;
};

Options readOptions(std::uint8_t a, std::uint8_t b)
{
    Options options;
    options.batching = a & 0x03;
    options.repeats = 1 << ((a >> 2) & 0x07);
    options.closed = (a & 0x20) != 0;
    switch (b & 0x03) {
    case 0:
        options.terminator = 0xFF;
        break;
    case 1:
        options.terminator = 0x00;
        break;
    case 2:
        options.terminator = 0x20;
        break;
    default:
        break; // no terminator: nothing ends a message
    }
    options.reentrant = (b & 0x04) != 0;
    options.throwing = (b & 0x08) != 0;
    options.seed = (std::uint32_t(a) << 8 | b) * 2654435761u | 1u;
    return options;
}

// What the receiver does with a message, the same for the assembler and the model: bytes to
// feed from inside the delivery, then, maybe, an exception.
struct Reaction
{
    std::string feedBack;
    enum { None, StdException, OtherException } thrown = None;
    std::string what;
};

Reaction react(const Options &options, const std::string &message, int &reentrantFeeds)
{
    Reaction reaction;
    const auto first = static_cast<std::uint8_t>(message.front());
    if (options.reentrant && message.size() % 3 == 0 && reentrantFeeds < kMaxReentrantFeeds) {
        ++reentrantFeeds;
        reaction.feedBack = message.substr(0, 4) + "\xFF";
    }
    if (options.throwing && first % 4 == 1) {
        reaction.thrown = Reaction::StdException;
        reaction.what = "rejected " + std::to_string(message.size());
    } else if (options.throwing && first % 4 == 3) {
        reaction.thrown = Reaction::OtherException; // reaches the sink as an empty text
    }
    return reaction;
}

// The framing rules written as plainly as possible, one byte at a time.
class ReferenceModel
{
public:
    explicit ReferenceModel(const Options &options)
        : m_options(options)
    {
    }

    // Bytes fed back by the receiver join the end of the batch being processed.
    void feed(std::string_view batch)
    {
        std::deque<std::uint8_t> pending(batch.begin(), batch.end());
        while (!pending.empty()) {
            std::uint8_t b = pending.front();
            pending.pop_front();
            if (b == 0x00)
                b = 0x20;
            if (!m_collecting) {
                m_message.assign(1, b); // even a terminator opens the message
                m_collecting = true;
            } else if (m_options.terminator && b == *m_options.terminator) {
                m_collecting = false;
                const std::string message(m_message.begin(), m_message.end());
                m_message.clear();
                delivered.push_back(message);
                const Reaction reaction = react(m_options, message, m_reentrantFeeds);
                pending.insert(pending.end(), reaction.feedBack.begin(), reaction.feedBack.end());
                if (reaction.thrown != Reaction::None)
                    errors.push_back(reaction.what);
            } else {
                m_message.push_back(b);
                if (m_message.size() > kLimit)
                    m_message.pop_front();
            }
        }
    }

    bool collecting() const { return m_collecting; }
    std::size_t pendingSize() const { return m_message.size(); }

    std::vector<std::string> delivered;
    std::vector<std::string> errors;

private:
    const Options &m_options;
    bool m_collecting = false;
    std::deque<std::uint8_t> m_message;
    int m_reentrantFeeds = 0;
};

std::uint32_t nextRandom(std::uint32_t &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

std::size_t nextBatchSize(const Options &options, std::uint32_t &state, std::size_t left)
{
    switch (options.batching) {
    case 0:
        return left;
    case 1:
        return 1;
    case 2:
        return 1 + nextRandom(state) % 16;
    default:
        return 1 + nextRandom(state) % 20000;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const Options options = readOptions(data[0], data[1]);
    const std::string_view payload(reinterpret_cast<const char *>(data + 2), size - 2);
    std::string stream;
    for (int i = 0; i < options.repeats && stream.size() < kMaxStream; ++i)
        stream.append(payload.substr(0, kMaxStream - stream.size()));
    if (options.closed)
        stream.push_back(static_cast<char>(options.terminator.value_or(0xFF)));

    FrameAssembler assembler;
    std::vector<std::string> delivered;
    std::vector<std::string> errors;
    int reentrantFeeds = 0;
    assembler.setReceiver([&](const std::string &message) {
        FUZZ_CHECK(!message.empty() && message.size() <= FrameAssembler::kMaxMessage);
        FUZZ_CHECK(message.find('\0') == std::string::npos);
        delivered.push_back(message);
        const Reaction reaction = react(options, message, reentrantFeeds);
        if (!reaction.feedBack.empty())
            assembler.feed(reaction.feedBack);
        if (reaction.thrown == Reaction::StdException)
            throw std::runtime_error(reaction.what);
        if (reaction.thrown == Reaction::OtherException)
            throw 42;
    });
    assembler.setErrorSink([&](const std::string &what) { errors.push_back(what); });
    if (options.terminator)
        assembler.setTerminator(*options.terminator);
    FUZZ_CHECK(assembler.terminator() == options.terminator);

    ReferenceModel model(options);
    std::uint32_t state = options.seed;
    std::string_view rest(stream);
    while (!rest.empty()) {
        const std::size_t n = std::min(rest.size(), nextBatchSize(options, state, rest.size()));
        assembler.feed(rest.substr(0, n));
        model.feed(rest.substr(0, n));
        rest.remove_prefix(n);

        // Deliveries happen within the feed that completes them, so the two agree after
        // every batch, not only at the end.
        FUZZ_CHECK(delivered.size() == model.delivered.size());
        FUZZ_CHECK(assembler.collecting() == model.collecting());
        FUZZ_CHECK(assembler.pendingSize() == model.pendingSize());
    }
    FUZZ_CHECK(delivered == model.delivered);
    FUZZ_CHECK(errors == model.errors);
    return 0;
}
