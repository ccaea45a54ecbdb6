#include "app/TfrmMain.h"
#include "app/ViewState.h"
#include "camera/SerialLink.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/PtyPeer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A camera frame of 15744 pixels, with line feeds in it, and its terminator.
QByteArray cameraFrame(int seed)
{
    QByteArray pixels(15744, '\0');
    for (int i = 0; i < pixels.size(); ++i)
        pixels[i] = char(1 + (i * 7 + seed * 31) % 254);
    pixels[5] = '\n';
    pixels[100] = '\r';
    return pixels;
}

QByteArray onDisk(QByteArray frame)
{
    return frame.replace("\n", "\r\n");
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The live camera path end to end: the window's start button, a real pseudo-terminal with a
// test peer as the camera, frame assembly, reception, recording and the view.
class TestLiveView : public QObject
{
    Q_OBJECT

    QTemporaryDir config;
    QTemporaryDir work;
    QString previousDir;
    ViewState state;
    FakePrompts prompts;
    std::unique_ptr<TfrmMain> window;
    std::unique_ptr<PtyPeer> camera;

    QString portFolder() const { return config.filePath("kelvra23/ports"); }
    QPushButton *startButton() const { return window->findChild<QPushButton *>("btnStart"); }
    void clickStart() { QTest::mouseClick(startButton(), Qt::LeftButton); }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(previousDir); }

    void init()
    {
        camera = std::make_unique<PtyPeer>();
        QVERIFY(camera->isValid());
        QVERIFY(camera->linkAs(portFolder(), "COM1"));
        state = ViewState();
        prompts = FakePrompts();
        window = std::make_unique<TfrmMain>(state, prompts);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup()
    {
        window.reset();
        camera.reset();
        for (const QString &name : QDir(work.path()).entryList(QDir::Files))
            QFile::remove(work.filePath(name));
    }

    void streamRecordAndStop()
    {
        clickStart();
        QVERIFY2(prompts.errors.isEmpty(), qPrintable(prompts.errors.join('\n')));
        QTRY_COMPARE(camera->received(), QByteArray("a"));
        QCOMPARE(window->statusText(1), QString("COM1, 115200, 8, None,1"));
        QCOMPARE(startButton()->text(), QString("&Stop Camera and Close Port"));
        QVERIFY(state.portOpen);

        // A frame with the box unchecked: shown, not recorded.
        QVERIFY(camera->send(cameraFrame(9) + char(0xFF)));
        QTRY_VERIFY(window->imagePresent);
        QCOMPARE(window->frameText, cameraFrame(9).toStdString());
        QCOMPARE((*window->displayBuffer)[15744], std::uint8_t(0));
        QCOMPARE(std::memcmp(window->displayBuffer->data(), cameraFrame(9).constData(), 15744), 0);
        QCOMPARE(window->statusText(2), QString("X=0 Y=0 Z=-20"));
        QCOMPARE(window->statusText(3), QString("No frames loaded"));
        QVERIFY(QDir(work.path()).entryList(QDir::Files).isEmpty());

        window->findChild<QCheckBox *>("chkImage")->setChecked(true);
        for (int i = 0; i < 3; ++i)
            QVERIFY(camera->send(cameraFrame(i) + char(0xFF)));
        QTRY_COMPARE(state.liveFrameCount, 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(readAll(work.filePath(QStringLiteral("live_%1.kvr").arg(i))),
                     onDisk(cameraFrame(i)));
        QCOMPARE(window->statusText(3), QString("Frame: 2"));
        QCOMPARE(state.liveFileName, std::string("./live_2.kvr"));

        camera->clearReceived();
        clickStart();
        QTRY_COMPARE(camera->received(), QByteArray("b"));
        QCOMPARE(window->statusText(1), QString("Port Closed"));
        QCOMPARE(startButton()->text(), QString("&Open Port and Start Camera"));
        QVERIFY(!state.portOpen);
        QVERIFY(!window->serialLink().isOpen());
        QVERIFY(prompts.errors.isEmpty());
    }

    void chosenPortShowsInPanel()
    {
        QVERIFY(camera->linkAs(portFolder(), "COM3"));
        window->findChild<QComboBox *>("cmbPort")->setCurrentText("COM3");
        clickStart();
        QCOMPARE(window->statusText(1), QString("COM3, 115200, 8, None,1"));
        QTRY_COMPARE(camera->received(), QByteArray("a"));
    }

    void failedOpenThenRecover()
    {
        QVERIFY(QFile::link("/nonexistent/kelvra-camera", QDir(portFolder()).filePath("COM4")));
        window->findChild<QComboBox *>("cmbPort")->setCurrentText("COM4");
        clickStart();
        QCOMPARE(prompts.errors,
                 QStringList({"Specified device not found (/nonexistent/kelvra-camera)."}));
        QVERIFY(state.portOpen); // the toggle is set, the window still shows the closed state
        QCOMPARE(window->statusText(1), QString("Port Closed"));
        QCOMPARE(startButton()->text(), QString("&Open Port and Start Camera"));
        clickStart();
        QVERIFY(!state.portOpen);
        QCOMPARE(window->statusText(1), QString("Port Closed"));
        QCOMPARE(prompts.errors.size(), 1);
        QCOMPARE(camera->received(), QByteArray());
    }

    void portHeldByAnotherProcess()
    {
        QProcess holder;
        holder.start("flock", {camera->slavePath(), "sleep", "30"}); // waits out our probes
        QVERIFY(holder.waitForStarted());
        // Wait until the other process really holds the lock.
        QTRY_VERIFY(QProcess::execute("flock", {"-n", camera->slavePath(), "true"}) != 0);
        clickStart();
        QCOMPARE(prompts.errors,
                 QStringList({QStringLiteral("Can't open specified device %1 (Error 11, Resource "
                                             "temporarily unavailable)")
                                  .arg(camera->slavePath())}));
        QCOMPARE(window->statusText(1), QString("Port Closed"));
        holder.kill();
        holder.waitForFinished();
    }

    void deviceLostMidStream()
    {
        clickStart();
        QTRY_COMPARE(camera->received(), QByteArray("a"));
        QVERIFY(camera->send(cameraFrame(1).left(5000))); // half a frame, then the cable goes
        camera->hangUp();
        QTRY_COMPARE(prompts.errors.size(), 1);
        QVERIFY2(prompts.errors[0].contains("lost"), qPrintable(prompts.errors[0]));
        QVERIFY(!state.portOpen);
        QVERIFY(!window->serialLink().isOpen());
        QCOMPARE(window->statusText(1), QString("Port Closed"));
        QCOMPARE(startButton()->text(), QString("&Open Port and Start Camera"));
        QTest::qWait(200); // no second report, no busy loop
        QCOMPARE(prompts.errors.size(), 1);
    }

    void unwritableLiveFileStopsRecordingOnce()
    {
        QVERIFY(QFile::link("/dev/full", work.filePath("live_0.kvr")));
        window->findChild<QCheckBox *>("chkImage")->setChecked(true);
        clickStart();
        for (int i = 0; i < 3; ++i)
            QVERIFY(camera->send(cameraFrame(i) + char(0xFF)));
        QTRY_COMPARE(window->frameText, cameraFrame(2).toStdString()); // frames keep showing
        QTRY_COMPARE(prompts.errors.size(), 1);
        QVERIFY2(prompts.errors[0].contains("live_0.kvr")
                     && prompts.errors[0].contains("No space left"),
                 qPrintable(prompts.errors[0]));
        QVERIFY(!window->findChild<QCheckBox *>("chkImage")->isChecked());
        QCOMPARE(state.liveFrameCount, 0);
        QVERIFY(!QFile::exists(work.filePath("live_1.kvr")));
    }
};

QTEST_MAIN(TestLiveView)
#include "tst_liveview.moc"
