#pragma once

#include <sys/resource.h>

#include <chrono>

// CPU time of the whole process (all threads, llvmpipe's included) and wall time.
class BenchClock
{
public:
    BenchClock() { restart(); }

    void restart()
    {
        m_cpu = cpuSeconds();
        m_wall = std::chrono::steady_clock::now();
    }
    double cpuElapsed() const { return cpuSeconds() - m_cpu; }
    double wallElapsed() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_wall).count();
    }

    static double cpuSeconds()
    {
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
        return seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }

private:
    double m_cpu = 0;
    std::chrono::steady_clock::time_point m_wall;
};
