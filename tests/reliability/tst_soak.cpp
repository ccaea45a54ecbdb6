#include "tests/reliability/LiveWindow.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/ProcessProbe.h"
#include "tools/camsim/SyntheticRelief.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <algorithm>

namespace {

constexpr std::uint64_t kSeed = 7;
constexpr qint64 kMaxGrowthKiB = 1024; // resident anonymous memory, after the warm-up
constexpr int kPauses = 2; // stop and restart the camera this often along the way
constexpr int kMsPerFrameAllowed = 200; // far below any rate worth having; only ends a hang
constexpr int kSettleMs = 300;

// The frame count: KELVRA_SOAK_FRAMES, 500 when unset.
int soakFrames()
{
    bool ok = false;
    const int frames = qEnvironmentVariableIntValue("KELVRA_SOAK_FRAMES", &ok);
    return ok && frames > 0 ? frames : 500;
}

} // namespace

// A long run against the simulated camera, unpaced, with recording on: every frame is recorded
// byte for byte, stopping and restarting the camera loses nothing, and memory stays flat after
// the first third of the run.
// soak.sh runs it with thousands of frames and prints its figures.
class TestSoak : public QObject
{
    Q_OBJECT

    LiveWindow live;

private slots:
    void initTestCase() { live.enter(); }
    void cleanupTestCase() { live.leave(); }
    void init() { live.open(); }
    void cleanup() { live.close(); }

    void everyFrameRecordedAndMemoryFlat()
    {
        const int frames = soakFrames();

        QProcess camera;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", live.configPath());
        camera.setProcessEnvironment(env);
        // No --frames: a simulator that ends hangs up the line, which the viewer reports.
        camera.start(QStringLiteral(KELVRA_BIN_DIR "/kelvra-camsim"),
                     {"--port", "COM2", "--unpaced", "--seed", QString::number(kSeed)});
        QVERIFY2(camera.waitForReadyRead(10000), camera.readAllStandardError().constData());

        live.window->findChild<QComboBox *>("cmbPort")->setCurrentText("COM2");
        live.recordBox()->setChecked(true);
        QElapsedTimer clock;
        clock.start();
        live.click("btnStart");
        QVERIFY2(live.state.portOpen && live.window->serialLink().isOpen(),
                 qPrintable(live.prompts.errors.join('\n')));

        const auto recordedAtLeast = [&](int count) {
            return EventLoopWait::until([&] { return live.state.liveFrameCount >= count; },
                                        30000 + count * kMsPerFrameAllowed);
        };
        // Memory is compared between two moments alike: the port just closed, the whole window
        // repainted and settled. Qt's compositing of the window with the GL view keeps
        // window-sized images whose number depends on what was repainted last.
        qint64 settleMs = 0;
        const auto settledMemory = [&] {
            live.window->repaint(); // a full compose, the same both times
            EventLoopWait::forMs(kSettleMs);
            settleMs += kSettleMs;
            return std::pair {ProcessProbe::residentKiB(), ProcessProbe::residentAnonKiB()};
        };

        // Stopping the camera mid-stream and starting it again loses no frame: the camera
        // pauses its frame and the viewer keeps the part it has. The first pause ends the
        // warm-up.
        int splitFrames = 0; // pauses that fell inside a frame
        int warmUpFrames = 0;
        std::pair<qint64, qint64> afterWarmUp;
        for (int pause = 1; pause <= kPauses; ++pause) {
            QVERIFY(recordedAtLeast(frames * pause / (kPauses + 1)));
            live.click("btnStart");
            QVERIFY(live.showsClosedPort());
            splitFrames += live.window->frameAssembler().collecting();
            if (pause == 1) {
                afterWarmUp = settledMemory();
                warmUpFrames = live.state.liveFrameCount;
            }
            live.click("btnStart");
            QVERIFY(live.state.portOpen);
        }

        QVERIFY2(recordedAtLeast(frames),
                 qPrintable(
                     QStringLiteral("%1 of %2 frames").arg(live.state.liveFrameCount).arg(frames)));
        live.click("btnStart");
        QVERIFY(live.showsClosedPort());
        const qint64 runMs = clock.elapsed() - settleMs;
        const auto atEnd = settledMemory();
        const qint64 growthKiB = atEnd.first - afterWarmUp.first;
        const qint64 anonGrowthKiB = atEnd.second - afterWarmUp.second;
        camera.terminate();
        QVERIFY(camera.waitForFinished(10000));
        QCOMPARE(camera.exitStatus(), QProcess::NormalExit);
        QCOMPARE(camera.exitCode(), 0);

        qInfo("soak: %d frames in %.1f s (%.1f frames/s, recording on, %d pauses, %d inside a "
              "frame); after %d frames of warm-up resident memory %+lld KiB, of it anonymous %+lld "
              "KiB",
              live.state.liveFrameCount, double(runMs) / 1000.0,
              live.state.liveFrameCount * 1000.0 / double(std::max<qint64>(runMs, 1)), kPauses,
              splitFrames, warmUpFrames, growthKiB, anonGrowthKiB);

        // Frames still on the line while the port closed were recorded too.
        const int recorded = live.state.liveFrameCount;
        QVERIFY(recorded >= frames);
        QCOMPARE(live.malformed, 0u);
        QVERIFY2(live.prompts.errors.isEmpty(), qPrintable(live.prompts.errors.join('\n')));
        const SyntheticRelief relief(kSeed);
        for (int k = 0; k < recorded; ++k) {
            const std::vector<std::uint8_t> pixels = relief.frame(std::uint64_t(k));
            const QByteArray expected(reinterpret_cast<const char *>(pixels.data()),
                                      qsizetype(pixels.size()));
            const QString name = QStringLiteral("live_%1.kvr").arg(k);
            QVERIFY2(LiveWindow::fileBytes(live.workPath(name)) == LiveWindow::recorded(expected),
                     qPrintable(name + " differs from the camera's frame"));
        }
        if (!ProcessProbe::underAddressSanitizer())
            QVERIFY2(anonGrowthKiB < kMaxGrowthKiB, qPrintable(QString::number(anonGrowthKiB)));
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
