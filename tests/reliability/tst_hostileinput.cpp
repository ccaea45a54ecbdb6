#include "tests/reliability/LiveWindow.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/ProcessProbe.h"
#include "tests/support/PtyWriter.h"
#include "tests/support/TickGapMeter.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstring>

namespace {

enum class Flood { Zeros, Terminators, Random };

constexpr quint64 kMiB = 1024 * 1024;
constexpr quint64 kWarmUpBytes = 8 * kMiB;
constexpr int kFloodTimeoutMs = 280000; // under ctest's limit for the whole executable
constexpr qint64 kMaxTickGapMs = 100;
constexpr qint64 kMaxGrowthKiB = 4096;

// Ends whatever partial frame the flood left and then forms a frame of its own, so its
// delivery shows that every byte before it has been handled.
const QByteArray kSentinel = QByteArray("\xFF\x01"
                                        "END\xFF");
const std::string kSentinelTail = "\x01"
                                  "END";

// The flood size in MiB: KELVRA_FLOOD_MB, 100 when unset (a sanitized build may use less).
quint64 floodMiB()
{
    bool ok = false;
    const quint64 mb = qEnvironmentVariable("KELVRA_FLOOD_MB").toULongLong(&ok);
    return ok && mb > 0 ? mb : 100;
}

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(1 + (i * 7 + i / 254) % 254); // 1..254: no zero, no terminator
    return bytes;
}

} // namespace

// Whatever arrives on the line, the viewer keeps its rules, its memory and its responsiveness.
// The sender runs on its own thread into a real pseudo-terminal, so the UI thread is free to
// read as fast as it can.
class TestHostileInput : public QObject
{
    Q_OBJECT

    LiveWindow live;

private slots:
    void initTestCase() { live.enter(); }
    void cleanupTestCase() { live.leave(); }
    void init() { live.open(); }
    void cleanup() { live.close(); }

    void floods_data()
    {
        QTest::addColumn<Flood>("flood");
        QTest::addColumn<qint64>("frames"); // the flood's own frames, -1: not fixed
        QTest::addColumn<QByteArray>("lastFloodFrame"); // empty: not checked

        const quint64 bytes = floodMiB() * kMiB;
        const QByteArray label = QByteArray::number(floodMiB()) + " MiB of ";
        // Zeros become spaces; nothing ends a frame, so the flood is one frame of its latest
        // 16384 bytes.
        QTest::newRow(label + "0x00") << Flood::Zeros << qint64(1) << QByteArray(16384, ' ');
        // Every other byte opens a frame and the next ends it: one-byte frames of 0xFF.
        QTest::newRow(label + "0xFF")
            << Flood::Terminators << qint64(bytes / 2) << QByteArray(1, '\xFF');
        QTest::newRow(label + "random bytes") << Flood::Random << qint64(-1) << QByteArray();
    }

    void floods()
    {
        QFETCH(Flood, flood);
        QFETCH(qint64, frames);
        QFETCH(QByteArray, lastFloodFrame);
        const quint64 bytes = floodMiB() * kMiB;

        live.startCamera();
        // One camera frame first, so that the view's first paint is behind us.
        QVERIFY(live.camera->send(LiveWindow::cameraFrame(1) + LiveWindow::kTerminator));
        QVERIFY(EventLoopWait::until([&] { return live.delivered == 1; }, 5000));
        std::string lastBeforeSentinel;
        live.beforeEachFrame = [&](const std::string &message) {
            if (message.size() <= kSentinelTail.size() + 1 && message.ends_with(kSentinelTail))
                lastBeforeSentinel = live.window->frameText;
        };

        PtyWriter::Generator generator;
        switch (flood) {
        case Flood::Zeros:
            generator = PtyWriter::filled(0x00, bytes);
            break;
        case Flood::Terminators:
            generator = PtyWriter::filled(0xFF, bytes);
            break;
        case Flood::Random:
            generator = PtyWriter::random(0x9E3779B97F4A7C15ULL, bytes);
            break;
        }

        QElapsedTimer clock;
        clock.start();
        TickGapMeter meter;
        PtyWriter writer(live.camera->masterFd(), generator);
        QVERIFY(EventLoopWait::until(
            [&] { return writer.bytesWritten() >= kWarmUpBytes || writer.finished(); },
            kFloodTimeoutMs));
        const qint64 residentAfterWarmUp = ProcessProbe::residentKiB();
        const qint64 anonAfterWarmUp = ProcessProbe::residentAnonKiB();
        meter.start();

        QVERIFY2(EventLoopWait::until([&] { return writer.finished(); }, kFloodTimeoutMs),
                 qPrintable(QStringLiteral("%1 of %2 bytes in %3 ms")
                                .arg(writer.bytesWritten())
                                .arg(bytes)
                                .arg(clock.elapsed())));
        QVERIFY(!writer.failed());
        QCOMPARE(writer.bytesWritten(), bytes);
        QVERIFY(live.camera->send(kSentinel));
        QVERIFY(EventLoopWait::until(
            [&] { return live.window->frameText.ends_with(kSentinelTail); }, 30000));
        const qint64 floodMs = clock.elapsed();
        meter.stop();
        const qint64 growthKiB = ProcessProbe::residentKiB() - residentAfterWarmUp;
        const qint64 anonGrowthKiB = ProcessProbe::residentAnonKiB() - anonAfterWarmUp;

        qInfo("%s: %.1f s, %.1f MiB/s, %llu frames, longest event-loop gap %lld ms; after "
              "warm-up resident memory %+lld KiB, of it anonymous %+lld KiB",
              QTest::currentDataTag(), double(floodMs) / 1000.0,
              double(bytes) / double(kMiB) / (double(std::max<qint64>(floodMs, 1)) / 1000.0),
              live.delivered - 2, meter.maxGapMs(), growthKiB, anonGrowthKiB);

        QCOMPARE(live.malformed, 0u);
        if (frames >= 0)
            QCOMPARE(qint64(live.delivered - 2), frames); // less the first frame and the sentinel
        else
            QVERIFY(live.delivered > 2);
        if (!lastFloodFrame.isEmpty())
            QCOMPARE(QByteArray::fromStdString(lastBeforeSentinel), lastFloodFrame);
        QVERIFY2(meter.maxGapMs() <= kMaxTickGapMs, qPrintable(QString::number(meter.maxGapMs())));
        if (!ProcessProbe::underAddressSanitizer())
            QVERIFY2(anonGrowthKiB < kMaxGrowthKiB, qPrintable(QString::number(anonGrowthKiB)));

        // The viewer is still itself: a camera frame shows as always.
        const QByteArray frame = LiveWindow::cameraFrame(3);
        QVERIFY(live.camera->send(frame + LiveWindow::kTerminator));
        QVERIFY(EventLoopWait::until([&] { return live.window->frameText == frame.toStdString(); },
                                     5000));
        QCOMPARE(std::memcmp(live.window->displayBuffer->data(), frame.constData(),
                             std::size_t(frame.size())),
                 0);
        QVERIFY(live.window->imagePresent);
        QVERIFY(live.prompts.errors.isEmpty());
        QVERIFY(live.state.portOpen);
    }

    void frameSizes_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {1, 15743, 15744, 15745, 16383, 16384, 16385, 20000})
            QTest::addRow("%d bytes", size) << size;
    }

    void frameSizes()
    {
        QFETCH(int, size);
        constexpr int kBuffer = 16384;
        const QByteArray sent = patterned(size);
        const QByteArray kept = sent.right(std::min(size, kBuffer)); // the latest 16384 bytes

        live.startCamera();
        PtyWriter writer(live.camera->masterFd(), PtyWriter::once(sent + LiveWindow::kTerminator));
        QVERIFY(EventLoopWait::until([&] { return live.delivered == 1; }, 10000));
        QCOMPARE(live.malformed, 0u);
        QCOMPARE(QByteArray::fromStdString(live.window->frameText), kept);

        const std::uint8_t *shown = live.window->displayBuffer->data();
        QCOMPARE(std::memcmp(shown, kept.constData(), std::size_t(kept.size())), 0);
        if (kept.size() < kBuffer)
            QCOMPARE(shown[kept.size()], std::uint8_t(0)); // the zero that ends the frame
        else
            QVERIFY(!std::memchr(shown, 0, kBuffer)); // a full buffer has no room for it
        QVERIFY(live.window->imagePresent);
        QVERIFY(live.prompts.errors.isEmpty());
    }
};

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
