// Relief view figures: the cost of one full-frame paint, batched against the point-by-point
// reference, and the CPU share of an idle and of an auto-rotating viewer. Needs a display
// (bench.sh runs it under Xvfb with Mesa's software renderer).
#include "BenchClock.h"
#include "app/TfrmMain.h"
#include "app/ViewState.h"
#include "tests/support/FakePrompts.h"
#include "view/OpenGLAPPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

namespace {

double paintCpu(TfrmMain &window, ReliefRenderer::Mode mode, int paints)
{
    window.renderer().setMode(mode);
    OpenGLAPPanel *view = window.view();
    view->makeCurrent();
    window.OpenGLAPPanel1Paint(); // warm-up: builds the arrays once
    glFinish();
    BenchClock clock;
    for (int i = 0; i < paints; ++i) {
        window.frameChanged(); // every paint draws a new frame: arrays rebuilt too
        window.OpenGLAPPanel1Paint();
        glFinish();
    }
    const double perPaint = clock.cpuElapsed() / paints;
    view->doneCurrent();
    return perPaint;
}

double cpuShareWhile(int milliseconds)
{
    BenchClock clock;
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < milliseconds)
        QTest::qWait(50);
    return clock.cpuElapsed() / clock.wallElapsed();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;

    ViewState state;
    FakePrompts prompts;
    TfrmMain window(state, prompts);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    window.displayBuffer = makeFrameBuffer();
    QRandomGenerator random(1);
    for (auto &byte : *window.displayBuffer)
        byte = std::uint8_t(random.bounded(1, 255));
    window.imagePresent = true;
    window.frameChanged();
    state.brightDivisor = 2;

    const double reference = paintCpu(window, ReliefRenderer::Mode::PointByPoint, 20);
    const double batched = paintCpu(window, ReliefRenderer::Mode::Batched, 100);
    window.renderer().setMode(ReliefRenderer::Mode::PointByPoint);
    const QImage referencePicture = window.view()->grabFramebuffer();
    window.renderer().setMode(ReliefRenderer::Mode::Batched);
    const QImage batchedPicture = window.view()->grabFramebuffer();
    const bool identical = referencePicture == batchedPicture;

    std::printf("view.paint_reference_cpu_ms %.3f\n", reference * 1e3);
    std::printf("view.paint_batched_cpu_ms %.3f\n", batched * 1e3);
    std::printf("view.paint_speedup_vs_reference %.1fx (target >= 5x)\n", reference / batched);
    std::printf("view.paint_pictures_identical %s\n", identical ? "yes" : "NO");

    QTest::qWait(500); // let the refresh timer settle on the unchanged picture
    const double idle = cpuShareWhile(seconds * 1000);
    std::printf("view.idle_cpu_percent_of_one_core %.2f (target < 2)\n", idle * 100);

    window.findChild<QPushButton *>("btnTmr")->click();
    const double rotating = cpuShareWhile(seconds * 1000);
    std::printf("view.autorotate_cpu_percent_of_one_core %.1f\n", rotating * 100);
    return identical ? 0 : 1;
}
