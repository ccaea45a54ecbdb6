#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

// Waits in a real event loop. QTest::qWaitFor naps 10 ms between passes over the pending
// events, which caps how fast a test can feed the viewer and hides stalls; here the loop blocks
// in the event dispatcher, as the application's own loop does.
class EventLoopWait
{
public:
    // Runs the event loop until predicate holds or timeoutMs pass; returns predicate().
    template<typename Predicate> static bool until(Predicate predicate, int timeoutMs)
    {
        if (predicate())
            return true;
        QEventLoop loop;
        const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
        QTimer check;
        check.setTimerType(Qt::PreciseTimer);
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (predicate() || deadline.hasExpired())
                loop.quit();
        });
        check.start(1);
        loop.exec();
        return predicate();
    }

    // Runs the event loop for ms milliseconds: lets whatever is pending happen, for checks that
    // something does NOT happen.
    static void forMs(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
};
