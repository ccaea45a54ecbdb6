#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

// Measures how responsive the UI thread stays: a fast timer ticks, and the longest time
// between two ticks is how long the event loop was kept from running anything else.
class TickGapMeter
{
public:
    explicit TickGapMeter(int intervalMs = 10)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_maxGapMs = std::max(m_maxGapMs, now - m_lastTickMs);
            m_lastTickMs = now;
            ++m_ticks;
        });
    }

    void start()
    {
        m_clock.start();
        m_lastTickMs = 0;
        m_maxGapMs = 0;
        m_ticks = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    qint64 maxGapMs() const { return m_maxGapMs; }
    int ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastTickMs = 0;
    qint64 m_maxGapMs = 0;
    int m_ticks = 0;
};
