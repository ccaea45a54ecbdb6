#include "tools/camsim/CameraFrame.h"
#include "tools/camsim/CameraStream.h"
#include "tools/camsim/CamsimOptions.h"
#include "tools/camsim/FramePacer.h"
#include "tools/camsim/ReplayFrames.h"
#include "tools/camsim/SyntheticRelief.h"

#include <QTest>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Sends size bytes through the pacer the way the simulator's loop does, with a simulated
// clock, and returns how long it took.
FramePacer::Clock::duration paceBytes(FramePacer &pacer, FramePacer::TimePoint &now,
                                      std::size_t size, std::size_t frameSize)
{
    const FramePacer::TimePoint start = now;
    std::size_t offset = 0;
    for (std::size_t left = size; left > 0;) {
        const std::size_t remaining = frameSize - offset;
        now = std::max(now, pacer.nextWrite(offset, remaining));
        const std::size_t n = std::min(pacer.allowance(now, offset, remaining), left);
        if (n == 0) {
            now += 1ms; // nothing due yet
            continue;
        }
        offset += n;
        left -= n;
        const bool done = offset == frameSize;
        if (done)
            offset = 0;
        pacer.sent(now, n, done);
    }
    return now - start;
}

double seconds(FramePacer::Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

class TestCamsimLogic : public QObject
{
    Q_OBJECT

private slots:
    void reliefIsDeterministicAndInRange();
    void replayDecodesKvr_data();
    void replayDecodesKvr();
    void lineRatePacing();
    void framesPerSecondPacing();
    void streamStartsStopsAndResumesFrame();
    void parsesOptions();
};

void TestCamsimLogic::reliefIsDeterministicAndInRange()
{
    const SyntheticRelief a(7);
    const SyntheticRelief b(7);
    const SyntheticRelief other(8);

    const Bytes f0 = a.frame(0);
    const Bytes f5 = a.frame(5);
    QCOMPARE(f0.size(), CameraFrame::kPixels);
    QVERIFY(f0 == b.frame(0));
    QVERIFY(f5 == b.frame(5));
    QVERIFY(f0 != f5); // it moves
    QVERIFY(f0 != other.frame(0));

    for (std::uint64_t n : {0u, 1u, 50u, 1000u}) {
        const Bytes f = a.frame(n);
        const auto [lo, hi] = std::minmax_element(f.begin(), f.end());
        QVERIFY(*lo >= 1 && *hi <= 254);
        // Mostly within 1..127, so the viewer's default brightness shows it well.
        const auto low = std::count_if(f.begin(), f.end(), [](std::uint8_t p) { return p <= 127; });
        QVERIFY2(low >= qsizetype(f.size() * 9 / 10), qPrintable(QString::number(low)));
        QVERIFY(*hi - *lo > 40); // a relief, not a flat field
    }
}

void TestCamsimLogic::replayDecodesKvr_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("head"); // expected first bytes of the frame
    QTest::addColumn<int>("padFrom"); // first index padded with 1s, or -1 for none

    QTest::newRow("CR LF turns back into LF")
        << QByteArray("\x05\r\n\x06") << QByteArray("\x05\n\x06") << 3;
    QTest::newRow("lone CR stays") << QByteArray("\x05\r\x06\r") << QByteArray("\x05\r\x06\r") << 4;
    QTest::newRow("0 and 255 are clamped")
        << QByteArray("\x00\xFF\x80", 3) << QByteArray("\x01\xFE\x80") << 3;
    QTest::newRow("empty file is all 1s") << QByteArray() << QByteArray() << 0;
    QTest::newRow("long file is cut")
        << QByteArray(20000, '\x40') << QByteArray(15744, '\x40') << -1;
    QTest::newRow("CR LF across the end counts as one byte") << QByteArray(15743, '\x40')
            + "\r\n\x41" << QByteArray(15743, '\x40') + "\n" << -1;
}

void TestCamsimLogic::replayDecodesKvr()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, head);
    QFETCH(int, padFrom);

    const Bytes frame = ReplayFrames::decode(std::string_view(file.constData(), file.size()));
    QCOMPARE(frame.size(), CameraFrame::kPixels);
    QVERIFY(std::equal(head.begin(), head.end(), frame.begin(),
                       [](char h, std::uint8_t f) { return std::uint8_t(h) == f; }));
    if (padFrom >= 0)
        QVERIFY(std::all_of(frame.begin() + padFrom, frame.end(),
                            [](std::uint8_t p) { return p == 1; }));
}

void TestCamsimLogic::lineRatePacing()
{
    constexpr std::size_t kFrame = CameraFrame::kPixels + 1;
    FramePacer pacer = FramePacer::lineRate();
    FramePacer::TimePoint now {};
    pacer.restart(now);

    // One frame at 11520 bytes/s: about 1.367 s.
    const double frameTime = seconds(paceBytes(pacer, now, kFrame, kFrame));
    QVERIFY2(std::abs(frameTime - 15745.0 / 11520.0) < 0.01,
             qPrintable(QString::number(frameTime)));

    // After a stall (nobody reading for 10 s) only a small burst goes early, then the line
    // rate holds again.
    now += 10s;
    QVERIFY(pacer.allowance(now, 0, kFrame) <= FramePacer::kMaxBurstBytes);
    const double afterStall = seconds(paceBytes(pacer, now, 11520, kFrame));
    QVERIFY2(afterStall > 0.9 && afterStall < 1.01, qPrintable(QString::number(afterStall)));
}

void TestCamsimLogic::framesPerSecondPacing()
{
    constexpr std::size_t kFrame = CameraFrame::kPixels + 1;
    FramePacer pacer = FramePacer::framesPerSecond(10);
    FramePacer::TimePoint now {};
    pacer.restart(now);

    // A frame goes whole; the next one waits for its slot.
    QCOMPARE(pacer.allowance(now, 0, kFrame), kFrame);
    QCOMPARE(pacer.allowance(now, 100, kFrame - 100), kFrame - 100); // a started frame continues
    const double fiveFrames = seconds(paceBytes(pacer, now, 5 * kFrame, kFrame));
    QVERIFY2(std::abs(fiveFrames - 0.4) < 0.005, qPrintable(QString::number(fiveFrames)));

    FramePacer unpaced = FramePacer::unpaced();
    QCOMPARE(unpaced.allowance(now, 0, kFrame), kFrame);
}

void TestCamsimLogic::streamStartsStopsAndResumesFrame()
{
    std::vector<std::uint64_t> asked;
    CameraStream stream([&](std::uint64_t n) {
        asked.push_back(n);
        return Bytes(CameraFrame::kPixels, std::uint8_t(n + 1));
    });

    QVERIFY(!stream.streaming());
    QVERIFY(!stream.command('x'));
    QVERIFY(!stream.streaming());
    QVERIFY(stream.command('a'));
    QVERIFY(!stream.command('a')); // already streaming

    auto pending = stream.pending();
    QCOMPARE(pending.size(), CameraFrame::kPixels + 1);
    QCOMPARE(pending.back(), CameraFrame::kTerminator);
    QCOMPARE(pending.front(), std::uint8_t(1));
    QVERIFY(!stream.consumed(1000));

    // Stopped mid-frame, started again: the same frame goes on where it stopped.
    stream.command('b');
    QVERIFY(!stream.streaming());
    QVERIFY(stream.command('a'));
    QCOMPARE(stream.offsetInFrame(), std::size_t(1000));
    QCOMPARE(stream.pending().size(), CameraFrame::kPixels + 1 - 1000);
    QVERIFY(stream.consumed(stream.pending().size()));
    QCOMPARE(stream.framesSent(), std::uint64_t(1));

    QCOMPARE(stream.pending().front(), std::uint8_t(2)); // the next frame
    QCOMPARE(asked, (std::vector<std::uint64_t> {0, 1}));
}

void TestCamsimLogic::parsesOptions()
{
    std::string error;
    const auto o = CamsimOptions::parse({"--port=COM4", "--fps", "12.5", "--replay", "a.kvr",
                                         "b.kvr", "--seed", "99", "--frames", "3"},
                                        error);
    QVERIFY2(o, error.c_str());
    QCOMPARE(o->port, std::string("COM4"));
    QVERIFY(o->pacing == CamsimOptions::Pacing::FramesPerSecond);
    QCOMPARE(o->fps, 12.5);
    QCOMPARE(o->replayFiles, (std::vector<std::string> {"a.kvr", "b.kvr"}));
    QCOMPARE(o->seed, std::uint64_t(99));
    QCOMPARE(o->frames, std::optional<std::uint64_t>(3));

    const auto defaults = CamsimOptions::parse({}, error);
    QVERIFY(defaults);
    QCOMPARE(defaults->port, std::string("COM1"));
    QVERIFY(defaults->pacing == CamsimOptions::Pacing::LineRate);
    QVERIFY(!defaults->frames);
}

QTEST_APPLESS_MAIN(TestCamsimLogic)
#include "tst_camsimlogic.moc"
