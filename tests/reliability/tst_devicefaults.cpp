#include "tests/reliability/LiveWindow.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/ProcessProbe.h"
#include "tests/support/PtyWriter.h"

#include <QElapsedTimer>
#include <QTest>

// What the camera's side of the line can do wrong: vanish in the middle of a frame, say
// nothing at all, never stop talking, or pour out frames while a modal box is up. All of it
// over real pseudo-terminals, through the window's own start button.
class TestDeviceFaults : public QObject
{
    Q_OBJECT

    LiveWindow live;

private slots:
    void initTestCase() { live.enter(); }
    void cleanupTestCase() { live.leave(); }
    void init() { live.open(); }
    void cleanup() { live.close(); }

    void deviceVanishesMidFrameAgainAndAgain()
    {
        constexpr int kRounds = 50;
        const QByteArray frame = LiveWindow::cameraFrame(1);
        live.camera.reset(); // every round brings its own
        const int descriptorsBefore = ProcessProbe::openDescriptorCount();
        const QStringList before = ProcessProbe::openDescriptors();

        for (int round = 0; round < kRounds; ++round) {
            live.replaceCamera();
            live.startCamera();
            QVERIFY(live.camera->send(frame.left(3000 + 97 * round))); // part of a frame
            live.camera->hangUp(); // the cable is pulled
            QTRY_COMPARE(live.prompts.errors.size(), round + 1);
            QVERIFY2(live.prompts.errors.last().contains("was lost"),
                     qPrintable(live.prompts.errors.last()));
            QVERIFY2(live.showsClosedPort(), qPrintable(QString::number(round)));
        }
        EventLoopWait::forMs(100); // a late second report would show up here
        QCOMPARE(live.prompts.errors.size(), kRounds);
        QCOMPARE(live.delivered, 0u); // no frame was ever completed
        live.camera.reset();
        QVERIFY2(
            ProcessProbe::openDescriptorCount() == descriptorsBefore,
            qPrintable(QStringLiteral("before:\n%1\nafter:\n%2")
                           .arg(before.join('\n'), ProcessProbe::openDescriptors().join('\n'))));

        // A camera plugged in again works as ever: a terminator ends whatever the lost ones
        // left unfinished (the line may have dropped it), and the next frame arrives whole.
        live.replaceCamera();
        live.startCamera();
        if (live.window->frameAssembler().collecting()) {
            QVERIFY(live.camera->send(QByteArray(1, LiveWindow::kTerminator)));
            QTRY_COMPARE(live.delivered, 1u);
        }
        QVERIFY(live.camera->send(frame + LiveWindow::kTerminator));
        QTRY_COMPARE(live.window->frameText, frame.toStdString());
        QCOMPARE(live.prompts.errors.size(), kRounds);
    }

    void silentCameraClosesPromptly()
    {
        live.startCamera();
        EventLoopWait::forMs(200); // the camera says nothing
        QElapsedTimer clock;
        clock.start();
        live.click("btnStart");
        const qint64 closeMs = clock.elapsed();
        QVERIFY2(closeMs < SerialLink::kClosePauseMs + 700, qPrintable(QString::number(closeMs)));
        QVERIFY(live.showsClosedPort());
        QCOMPARE(live.camera->received(), QByteArray("ab"));
        QVERIFY(live.prompts.errors.isEmpty());
        QCOMPARE(live.delivered, 0u);
    }

    void endlessCameraCannotHoldTheCloseOpen()
    {
        live.startCamera();
        // This camera ignores 'b' and never stops.
        PtyWriter writer(live.camera->masterFd(),
                         PtyWriter::endless(LiveWindow::cameraFrame(2) + LiveWindow::kTerminator));
        QVERIFY(EventLoopWait::until([&] { return live.delivered >= 20; }, 10000));

        QElapsedTimer clock;
        clock.start();
        live.click("btnStart");
        const qint64 closeMs = clock.elapsed();
        QVERIFY2(closeMs < 2000, qPrintable(QString::number(closeMs)));
        QVERIFY(live.showsClosedPort());
        QVERIFY(live.camera->received().endsWith('b'));

        const quint64 atClose = live.delivered;
        EventLoopWait::forMs(300);
        QVERIFY(!writer.finished() && !writer.failed()); // the camera still talks
        QCOMPARE(live.delivered, atClose); // but nobody listens
        QCOMPARE(live.malformed, 0u);
        QVERIFY(live.prompts.errors.isEmpty());
        QCOMPARE(live.window->frameText, LiveWindow::cameraFrame(2).toStdString());
    }

    void burstWhileAModalBoxIsOpen()
    {
        constexpr int kBurst = 50;
        live.startCamera();
        QVERIFY(live.camera->send(LiveWindow::cameraFrame(99) + LiveWindow::kTerminator));
        QTRY_COMPARE(live.delivered, 1u);
        live.recordBox()->setChecked(true);

        QByteArray burst;
        for (int k = 0; k < kBurst; ++k)
            burst += LiveWindow::cameraFrame(k) + LiveWindow::kTerminator;
        std::unique_ptr<PtyWriter> writer;
        // The camera pours out the burst as soon as the save notice is up; the notice stays
        // until the whole burst has been received, as a user reading it would.
        live.prompts.whenShown = [&] {
            writer = std::make_unique<PtyWriter>(live.camera->masterFd(), PtyWriter::once(burst));
        };
        live.prompts.dismissWhen = [&] { return live.delivered == 1 + kBurst; };
        live.prompts.timeoutMs = 30000;
        live.click("btnCapt");

        QCOMPARE(live.prompts.timedOut, 0);
        QCOMPARE(live.prompts.notices, QStringList({"Image saved successfully!"}));
        QCOMPARE(LiveWindow::fileBytes(live.workPath("frozen_0.kvr")),
                 LiveWindow::recorded(LiveWindow::cameraFrame(99)));
        QVERIFY(writer && writer->finished() && !writer->failed());
        QCOMPARE(live.delivered, quint64(1 + kBurst));
        QCOMPARE(live.state.liveFrameCount, kBurst);
        for (int k = 0; k < kBurst; ++k) {
            const QString name = QStringLiteral("live_%1.kvr").arg(k);
            QVERIFY2(LiveWindow::fileBytes(live.workPath(name))
                         == LiveWindow::recorded(LiveWindow::cameraFrame(k)),
                     qPrintable(name));
        }
        QCOMPARE(live.window->statusText(3), QStringLiteral("Frame: %1").arg(kBurst - 1));
        QVERIFY(live.prompts.errors.isEmpty());
    }
};

QTEST_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
