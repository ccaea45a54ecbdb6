// Live camera figures:
//  - latency from the terminator of a frame being written on a real pseudo-terminal to that
//    frame being painted and handed to the screen (median and p99 over 200 frames);
//  - the sustained rate with kelvra-camsim --unpaced and recording on, and whether every
//    frame was recorded.
#include "EventWait.h"
#include "app/TfrmMain.h"
#include "app/ViewState.h"
#include "frames/FrameFile.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/PtyPeer.h"
#include "view/OpenGLAPPanel.h"

#include <GL/gl.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(double(values.size()) * p))];
}

int latency(TfrmMain &window, const QString &portFolder)
{
    PtyPeer camera;
    if (!camera.linkAs(portFolder, "COM1"))
        return 1;
    window.findChild<QPushButton *>("btnStart")->click();
    if (!waitFor([&] { return camera.received() == "a"; }, 5000))
        return 1;

    // Painted: the frame's paint has finished (glFinish after the renderer). On screen: Qt
    // has composed the window and swapped its buffers.
    QElapsedTimer clock;
    qint64 sentAt = 0; // the terminator of the frame on its way, 0 once it is on screen
    qint64 lastSent = 0;
    qint64 paintedAt = 0;
    std::vector<double> painted, onScreen;
    QObject::connect(window.view(), &OpenGLAPPanel::glPaint, [&] {
        glFinish();
        paintedAt = clock.nsecsElapsed();
    });
    QObject::connect(window.view(), &QOpenGLWidget::frameSwapped, [&] {
        if (!sentAt)
            return;
        painted.push_back(double(paintedAt - sentAt) / 1e6);
        onScreen.push_back(double(clock.nsecsElapsed() - sentAt) / 1e6);
        sentAt = 0;
    });
    clock.start();
    constexpr int kFrames = 200;
    // Faster than the camera's 1.4 s a frame, slower than the view paints at most (66/s).
    constexpr qint64 kFrameSpacingNs = 50'000'000;
    for (int i = 0; i < kFrames; ++i) {
        const qint64 due = lastSent + kFrameSpacingNs;
        waitFor([&] { return clock.nsecsElapsed() >= due; }, 1000);
        camera.send(QByteArray(15744, char(1 + i % 120))); // the body first; the viewer collects it
        if (!waitFor([&] { return window.frameAssembler().pendingSize() == 15744; }, 5000))
            return 1;
        sentAt = lastSent = clock.nsecsElapsed();
        camera.send(QByteArray(1, char(0xFF)));
        if (!waitFor([&] { return int(onScreen.size()) == i + 1; }, 5000))
            return 1;
    }
    window.findChild<QPushButton *>("btnStart")->click();
    std::printf("live.latency_to_painted_median_ms %.2f\n", percentile(painted, 0.5));
    std::printf("live.latency_to_painted_p99_ms %.2f (target <= 5)\n", percentile(painted, 0.99));
    std::printf("live.latency_to_screen_median_ms %.2f\n", percentile(onScreen, 0.5));
    std::printf("live.latency_to_screen_p99_ms %.2f (composed and swapped by Qt)\n",
                percentile(onScreen, 0.99));
    return 0;
}

int sustained(TfrmMain &window, ViewState &state, const QString &configDir, const QString &workDir)
{
    constexpr int kFrames = 600;
    QProcess sim;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configDir);
    sim.setProcessEnvironment(env);
    sim.start(QStringLiteral(KELVRA_BIN_DIR "/kelvra-camsim"),
              {"--port", "COM2", "--unpaced", "--frames", QString::number(kFrames), "--seed", "3"});
    if (!sim.waitForReadyRead(5000))
        return 1;
    window.findChild<QComboBox *>("cmbPort")->setCurrentText("COM2");
    window.findChild<QCheckBox *>("chkImage")->setChecked(true);
    QElapsedTimer clock;
    window.findChild<QPushButton *>("btnStart")->click();
    clock.start();
    if (!waitFor([&] { return state.liveFrameCount >= kFrames; }, 120000))
        return 1;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    window.findChild<QPushButton *>("btnStart")->click();
    sim.waitForFinished(5000);

    int complete = 0;
    for (int i = 0; i < kFrames; ++i) {
        std::array<std::uint8_t, kFrameBufferSize> buffer {};
        const std::string name
            = QDir(workDir).filePath(QStringLiteral("live_%1.kvr").arg(i)).toStdString();
        complete += readFrameFile(name, buffer.data()).bytesRead == 15744;
    }
    std::printf("live.unpaced_recorded_fps %.1f (target >= 60)\n", kFrames / seconds);
    std::printf("live.unpaced_frames_recorded %d of %d (%s)\n", complete, kFrames,
                complete == kFrames ? "all" : "MISSING FRAMES");
    return complete == kFrames ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir config;
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QDir::setCurrent(work.path());

    ViewState state;
    FakePrompts prompts;
    TfrmMain window(state, prompts);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const QString ports = config.filePath("kelvra23/ports");
    if (latency(window, ports) != 0) {
        std::printf("live.latency FAILED\n");
        return 1;
    }
    return sustained(window, state, config.path(), work.path());
}
