#pragma once

#include "tests/support/FakePrompts.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

// A FakePrompts whose notices and error boxes can behave like real modal boxes: once
// dismissWhen is set, each box is recorded and then runs a nested event loop until dismissWhen
// holds or timeoutMs pass, so that timers, port reads and frame deliveries run inside it, as
// they do under a real QMessageBox. Without dismissWhen a box closes at once.
class ModalPrompts : public FakePrompts
{
public:
    std::function<void()> whenShown; // runs once the box is "on screen", inside its loop
    std::function<bool()> dismissWhen; // empty: boxes close at once
    int timeoutMs = 5000;
    int timedOut = 0; // boxes that were still up when their time ran out

    void showError(const QString &text) override
    {
        FakePrompts::showError(text);
        runModal();
    }
    void showNotice(const QString &text) override
    {
        FakePrompts::showNotice(text);
        runModal();
    }

private:
    void runModal()
    {
        if (!dismissWhen)
            return;
        QEventLoop loop;
        const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
        QTimer check;
        check.setTimerType(Qt::PreciseTimer);
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (dismissWhen()) {
                loop.quit();
            } else if (deadline.hasExpired()) {
                ++timedOut;
                loop.quit();
            }
        });
        if (whenShown)
            QTimer::singleShot(0, &loop, whenShown);
        check.start(1);
        loop.exec();
    }
};
