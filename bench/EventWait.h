#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

// Runs the event loop until predicate holds or timeoutMs pass. Unlike QTest::qWaitFor, which
// sleeps between checks, the loop blocks in the event dispatcher, so a benchmark measures the
// viewer and not the test harness's naps.
template<typename Predicate> bool waitFor(Predicate predicate, int timeoutMs)
{
    if (predicate())
        return true;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (predicate() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    return predicate();
}
