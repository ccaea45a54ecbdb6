// Movie pace: the time between movie steps over 40 steps of a recorded series, with the
// window showing each frame. Target: 250 ms +- 15 ms.
#include "app/TfrmMain.h"
#include "app/ViewState.h"
#include "frames/FrameFile.h"
#include "tests/support/FakePrompts.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    constexpr int kSteps = 40;
    constexpr int kSeries = 10;

    QTemporaryDir dir;
    std::string frame(15744, char(60));
    for (int k = 0; k < kSeries; ++k) {
        std::fill(frame.begin(), frame.begin() + 2000, char(20 + k));
        const std::string name
            = QDir(dir.path()).filePath(QStringLiteral("live_%1.kvr").arg(k)).toStdString();
        if (!writeFrameFile(name, reinterpret_cast<const std::uint8_t *>(frame.c_str())).saved())
            return 1;
    }

    ViewState state;
    FakePrompts prompts;
    TfrmMain window(state, prompts);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    std::vector<double> stamps;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&window, &QWidget::windowTitleChanged,
                     [&] { stamps.push_back(double(clock.nsecsElapsed()) / 1e6); });
    prompts.answers << QDir(dir.path()).filePath(QStringLiteral("live_%1.kvr").arg(kSeries - 1));
    window.findChild<QPushButton *>("btnMov")->click();
    if (!QTest::qWaitFor([&] { return int(stamps.size()) > kSteps; }, 30000))
        return 1;
    window.findChild<QPushButton *>("btnMov")->click();

    std::vector<double> gaps;
    for (std::size_t i = 1; i < stamps.size(); ++i)
        gaps.push_back(stamps[i] - stamps[i - 1]);
    if (gaps.size() < std::size_t(kSteps))
        return 1;
    std::sort(gaps.begin(), gaps.end());
    const double median = gaps[gaps.size() / 2];
    double worst = 0;
    for (double g : gaps)
        worst = std::max(worst, std::abs(g - 250.0));
    std::printf("movie.step_median_ms %.1f (target 250 +- 15)\n", median);
    std::printf("movie.step_worst_deviation_ms %.1f over %zu steps (min %.1f, max %.1f)\n", worst,
                gaps.size(), gaps.front(), gaps.back());
    return 0;
}
