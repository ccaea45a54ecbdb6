#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// The camera's end of a real pseudo-terminal, for end-to-end tests. It keeps its own slave
// descriptor open so the master sees no hang-up when the viewer closes the port, and it can
// link the slave into a port folder as "COMn".
class PtyPeer
{
public:
    PtyPeer()
    {
        int slave = -1;
        char name[256] = {};
        termios raw {};
        cfmakeraw(&raw);
        if (::openpty(&m_master, &slave, name, &raw, nullptr) == 0) {
            m_slave = slave;
            m_slavePath = QString::fromLocal8Bit(name);
            ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPeer() { hangUp(); }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    // The camera's end (non-blocking), for a sender on a thread of its own (PtyWriter).
    int masterFd() const { return m_master; }

    // Links portFolder/comName to the slave, replacing what was there.
    bool linkAs(const QString &portFolder, const QString &comName) const
    {
        QDir().mkpath(portFolder);
        const QString link = QDir(portFolder).filePath(comName);
        QFile::remove(link);
        return QFile::link(m_slavePath, link);
    }

    // Everything the viewer has sent so far (non-blocking).
    QByteArray received()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            m_received.append(buf, qsizetype(n));
        }
        return m_received;
    }
    void clearReceived()
    {
        received();
        m_received.clear();
    }

    // Sends bytes to the viewer, waiting (bounded) while the pty buffer is full.
    bool send(const QByteArray &bytes)
    {
        qsizetype done = 0;
        int stalls = 0;
        while (done < bytes.size()) {
            const ssize_t n
                = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                stalls = 0;
                continue;
            }
            if (n < 0 && errno != EAGAIN)
                return false;
            // The viewer drains the pty from the event loop, so let it run while waiting.
            pollfd p {m_master, POLLOUT, 0};
            if (::poll(&p, 1, 0) == 0) {
                if (++stalls > 500)
                    return false;
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
        }
        return true;
    }

    // Closes both ends: to the viewer the device is gone.
    void hangUp()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
        m_slave = m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QByteArray m_received;
};
