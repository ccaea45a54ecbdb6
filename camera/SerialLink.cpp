#include "camera/SerialLink.h"

#include "camera/FrameAssembler.h"
#include "camera/PortPaths.h"

#include <QByteArray>
#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Linux gives pseudo-terminal slaves (/dev/pts/N) these character device majors.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

bool isPseudoTerminal(int fd)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

// QSerialPort reports failures as an enum plus the system's error text, not the errno. The
// text is strerror's for system errors, so find the errno that gives it; for Qt's own texts
// fall back to the errno closest to the enum.
int errnoOf(const QSerialPort &port)
{
    const QByteArray text = port.errorString().toLocal8Bit();
    constexpr int kLastErrno = 200;
    for (int e = 1; e <= kLastErrno; ++e) {
        if (text == std::strerror(e))
            return e;
    }
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return ENOENT;
    case QSerialPort::PermissionError:
        return EACCES;
    case QSerialPort::OpenError:
        return EBUSY;
    case QSerialPort::UnsupportedOperationError:
        return ENOTTY;
    default:
        return EIO;
    }
}

} // namespace

SerialLink::SerialLink(FrameAssembler &assembler, QObject *parent)
    : QObject(parent)
    , m_assembler(assembler)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onErrorOccurred);
}

SerialLink::~SerialLink()
{
    if (m_open)
        release();
}

void SerialLink::setPortName(const QString &comName)
{
    m_portName = comName;
}

void SerialLink::open()
{
    if (m_open)
        return;

    const std::string device = resolvePortDevice(m_portName.toStdString(), portFolder());
    m_devicePath = QString::fromStdString(device);
    m_openPortName = m_portName;

    // Probe with a descriptor of our own: its errno is the real one, and it carries the
    // advisory lock that keeps other holders out (TIOCEXCL, which QSerialPort sets, does not
    // stop root).
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            throw std::runtime_error("Specified device not found (" + device + ").");
        failOpen(err);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        failOpen(err);
    }
    const bool pty = isPseudoTerminal(fd);
    m_lockFd = fd;

    m_port.setPortName(m_devicePath);
    m_port.setBaudRate(QSerialPort::Baud115200);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    // A bounded buffer: when the viewer falls behind, the line's own flow (the kernel's tty
    // buffer) holds the sender back instead of our memory growing.
    m_port.setReadBufferSize(kReadBufferBytes);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const int err = errnoOf(m_port);
        release();
        failOpen(err);
    }

    // A pseudo-terminal has no modem lines; that one refusal is expected there.
    const auto lineOff = [&](bool ok) {
        if (ok)
            return;
        if (pty && m_port.error() == QSerialPort::UnsupportedOperationError) {
            m_port.clearError();
            return;
        }
        const int err = errnoOf(m_port);
        release();
        failOpen(err);
    };
    lineOff(m_port.setDataTerminalReady(false));
    lineOff(m_port.setRequestToSend(false));

    m_open = true;
}

void SerialLink::writeByte(char byte)
{
    if (m_open)
        m_port.write(&byte, 1);
}

void SerialLink::close()
{
    if (!m_open || m_closing)
        return;
    m_closing = true;

    // The bytes written before close leave first ('b' must reach the camera).
    const QDeadlineTimer drainDeadline(kDrainTimeoutMs);
    while (m_open && m_port.bytesToWrite() > 0 && !drainDeadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(static_cast<int>(drainDeadline.remainingTime())))
            break;
    }

    // Bytes still arriving during the pause (the rest of a frame in flight) reach the
    // assembler. Only the port is waited on, so no user input is handled meanwhile.
    const QDeadlineTimer pause(kClosePauseMs);
    while (m_open && !pause.hasExpired()) {
        pollfd pfd {m_port.handle(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(pause.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        if (pfd.revents & POLLIN) {
            // QSerialPort reads the bytes and emits readyRead, which feeds the assembler.
            if (!m_port.waitForReadyRead(0))
                break;
        } else {
            break; // hang-up or error without data: nothing more will come
        }
    }
    feedAvailable();

    if (m_open)
        release();
    m_closing = false;
}

void SerialLink::onReadyRead()
{
    feedAvailable();
}

void SerialLink::feedAvailable()
{
    if (!m_port.isOpen())
        return;
    const QByteArray bytes = m_port.readAll();
    if (!bytes.isEmpty())
        m_assembler.feed(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                         static_cast<std::size_t>(bytes.size()));
}

void SerialLink::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // A vanished device makes QSerialPort report an error again and again while the port
    // stays open: ResourceError when a read fails with EIO (adapter pulled), ReadError when
    // read() returns 0 (a pseudo-terminal whose master closed; the errno text is then stale).
    // On a raw non-blocking line that poll() reported readable, neither is transient. Release
    // the port at once so that the event loop does not spin.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) || !m_open)
        return;
    if (m_closing)
        return; // close() is under way and releases the port itself
    const QString text
        = lineHungUp() ? QStringLiteral("the line was hung up") : m_port.errorString();
    release();
    emit deviceLost(QStringLiteral("The connection to the camera on %1 (%2) was lost: %3")
                        .arg(m_openPortName, m_devicePath, text));
}

bool SerialLink::lineHungUp() const
{
    pollfd pfd {static_cast<int>(m_port.handle()), POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void SerialLink::release()
{
    m_open = false;
    if (m_port.isOpen())
        m_port.close();
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

void SerialLink::failOpen(int errorNumber)
{
    throw std::runtime_error("Can't open specified device " + m_devicePath.toStdString()
                             + " (Error " + std::to_string(errorNumber) + ", "
                             + std::strerror(errorNumber) + ")");
}
