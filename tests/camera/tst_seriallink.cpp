#include "camera/FrameAssembler.h"
#include "camera/SerialLink.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

QByteArray frameOf(char pixel, int size = 15744)
{
    return QByteArray(size, pixel) + '\xFF';
}

// Whether some other open file description holds an flock on path.
bool lockedElsewhere(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

std::chrono::milliseconds cpuTimeUsed()
{
    rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    using namespace std::chrono;
    return duration_cast<milliseconds>(seconds(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
                                       + microseconds(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec));
}

} // namespace

// Every test talks to a real pseudo-terminal: the link opens the slave through the port link
// "COM1" in a private port folder, the test plays the camera on the master.
class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithCameraLineSettings();
    void deliversFramesAndSendsBytes();
    void closeSendsPendingBytesAndHandsOverLateOnes();
    void partialFrameSurvivesReopening();
    void openFailures();
    void lostDeviceReleasesPortOnce();
    void destructorReleasesWithoutSending();

private:
    QByteArray readMaster(int atLeast, int timeoutMs = 5000);
    bool writeMaster(const QByteArray &bytes, int timeoutMs = 5000);
    QByteArray drainMaster(int quietMs);

    std::unique_ptr<QTemporaryDir> m_config;
    QByteArray m_oldXdg;
    bool m_hadXdg = false;
    int m_master = -1;
    QByteArray m_slavePath;
    FrameAssembler m_assembler;
    QList<QByteArray> m_frames;
};

void TestSerialLink::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    m_hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());

    int slave = -1;
    char name[128] = {};
    QCOMPARE(::openpty(&m_master, &slave, name, nullptr, nullptr), 0);
    ::close(slave); // the link opens it by name
    m_slavePath = name;
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    termios tio {};
    ::tcgetattr(m_master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_master, TCSANOW, &tio);

    const fs::path ports = fs::path(m_config->path().toStdString()) / "kelvra23" / "ports";
    fs::create_directories(ports);
    fs::create_symlink(m_slavePath.toStdString(), ports / "COM1");

    m_assembler = FrameAssembler();
    m_assembler.setTerminator(0xFF);
    m_frames.clear();
    m_assembler.setReceiver([this](const std::string &m) {
        m_frames.append(QByteArray(m.data(), qsizetype(m.size())));
    });
}

void TestSerialLink::cleanup()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    if (m_hadXdg)
        qputenv("XDG_CONFIG_HOME", m_oldXdg);
    else
        qunsetenv("XDG_CONFIG_HOME");
    m_config.reset();
}

QByteArray TestSerialLink::readMaster(int atLeast, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < atLeast && !timer.hasExpired(timeoutMs)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
        else
            QTest::qWait(5);
    }
    return got;
}

// Writes all of bytes while the link reads them (a pseudo-terminal buffers only a few KB).
bool TestSerialLink::writeMaster(const QByteArray &bytes, int timeoutMs)
{
    qsizetype done = 0;
    QElapsedTimer timer;
    timer.start();
    while (done < bytes.size() && !timer.hasExpired(timeoutMs)) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done == bytes.size();
}

// Reads until nothing has arrived for quietMs.
QByteArray TestSerialLink::drainMaster(int quietMs)
{
    QByteArray got;
    for (;;) {
        pollfd pfd {m_master, POLLIN, 0};
        if (::poll(&pfd, 1, quietMs) <= 0 || !(pfd.revents & POLLIN))
            return got;
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            return got;
        got.append(buf, n);
    }
}

void TestSerialLink::opensWithCameraLineSettings()
{
    SerialLink link(m_assembler);
    link.setPortName("COM1");
    link.open();
    QVERIFY(link.isOpen());
    QCOMPARE(link.devicePath(), QString::fromLocal8Bit(m_slavePath));

    termios tio {};
    QCOMPARE(::tcgetattr(m_master, &tio), 0);
    QCOMPARE(::cfgetospeed(&tio), speed_t(B115200));
    QCOMPARE(::cfgetispeed(&tio), speed_t(B115200));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    link.close();
}

void TestSerialLink::deliversFramesAndSendsBytes()
{
    SerialLink link(m_assembler);

    // A closed link neither sends nor blocks.
    link.writeByte('x');
    QElapsedTimer t;
    t.start();
    link.close();
    QVERIFY2(t.elapsed() < 100, "close on a closed link must return at once");

    link.open();
    link.writeByte('a');
    QCOMPARE(readMaster(1), QByteArray("a"));

    // Two frames and the start of a third in one write; every 0x00 arrives as 0x20.
    const QByteArray third = QByteArray(100, '\x05');
    QByteArray second = frameOf('\x22');
    second[0] = '\0';
    const QByteArray stream = frameOf('\x11') + second + third;
    QVERIFY(writeMaster(stream));
    QTRY_COMPARE_WITH_TIMEOUT(m_frames.size(), 2, 5000);
    QCOMPARE(m_frames[0], QByteArray(15744, '\x11'));
    QCOMPARE(m_frames[1], QByteArray(1, ' ') + QByteArray(15743, '\x22'));
    QTRY_COMPARE(m_assembler.pendingSize(), std::size_t(third.size()));

    link.close();
    QVERIFY(!link.isOpen());
}

void TestSerialLink::closeSendsPendingBytesAndHandsOverLateOnes()
{
    SerialLink link(m_assembler);
    link.open();

    // The camera answers the stop byte with the rest of a frame that was already on its way.
    std::atomic<bool> sawStop = false;
    std::thread camera([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd pfd {m_master, POLLIN, 0};
            if (::poll(&pfd, 1, 50) > 0) {
                char c = 0;
                if (::read(m_master, &c, 1) == 1 && c == 'b') {
                    sawStop = true;
                    const QByteArray late = frameOf('\x33', 5000);
                    if (::write(m_master, late.constData(), size_t(late.size())) != late.size())
                        return;
                    return;
                }
            }
        }
    });

    link.writeByte('b');
    QElapsedTimer t;
    t.start();
    link.close(); // no event loop ran between the write and the close
    const qint64 closeMs = t.elapsed();
    camera.join();

    QVERIFY2(sawStop, "the stop byte must leave before the port closes");
    QVERIFY(!link.isOpen());
    QCOMPARE(m_frames.size(), 1);
    QCOMPARE(m_frames[0], QByteArray(5000, '\x33'));
    QVERIFY2(closeMs >= SerialLink::kClosePauseMs - 10, qPrintable(QString::number(closeMs)));
    QVERIFY2(closeMs < 2000, qPrintable(QString::number(closeMs)));
    QVERIFY2(!lockedElsewhere(m_slavePath), "close must release the device");
}

void TestSerialLink::partialFrameSurvivesReopening()
{
    SerialLink link(m_assembler);
    link.open();
    QCOMPARE(::write(m_master, "AB", 2), ssize_t(2));
    QTRY_COMPARE(m_assembler.pendingSize(), std::size_t(2));
    link.close();

    link.open();
    QCOMPARE(::write(m_master, "C\xFF", 2), ssize_t(2));
    QTRY_COMPARE(m_frames.size(), 1);
    QCOMPARE(m_frames[0], QByteArray("ABC"));
    link.close();
}

void TestSerialLink::openFailures()
{
    SerialLink link(m_assembler);

    // A port whose link points nowhere.
    const fs::path ports = fs::path(m_config->path().toStdString()) / "kelvra23" / "ports";
    fs::create_symlink("/nonexistent/ttyK9", ports / "COM2");
    link.setPortName("COM2");
    try {
        link.open();
        QFAIL("opening a missing device must fail");
    } catch (const std::runtime_error &e) {
        QCOMPARE(QString(e.what()), QString("Specified device not found (/nonexistent/ttyK9)."));
    }
    QVERIFY(!link.isOpen());

    // A device that another process holds; the holder lets go when its input closes.
    link.setPortName("COM1");
    QProcess holder;
    holder.start("flock", {"-n", QString::fromLocal8Bit(m_slavePath), "cat"});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(lockedElsewhere(m_slavePath), 5000);
    try {
        link.open();
        QFAIL("opening a held device must fail");
    } catch (const std::runtime_error &e) {
        QCOMPARE(QString(e.what()),
                 "Can't open specified device " + QString::fromLocal8Bit(m_slavePath)
                     + " (Error 11, Resource temporarily unavailable)");
    }
    QVERIFY(!link.isOpen());
    link.writeByte('a'); // goes nowhere
    link.close(); // does nothing

    // Once the holder is gone the same link opens: the failed attempt kept nothing.
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    link.open();
    QVERIFY(link.isOpen());
    QVERIFY(lockedElsewhere(m_slavePath));
    link.close();
}

void TestSerialLink::lostDeviceReleasesPortOnce()
{
    SerialLink link(m_assembler);
    QSignalSpy lost(&link, &SerialLink::deviceLost);
    link.open();

    ::close(m_master); // the camera end vanishes
    m_master = -1;
    QVERIFY(lost.wait(5000));
    QVERIFY(!link.isOpen());

    // No storm of errors afterwards, and no busy loop.
    const auto cpuBefore = cpuTimeUsed();
    QTest::qWait(500);
    const auto cpuUsed = cpuTimeUsed() - cpuBefore;
    QCOMPARE(lost.count(), 1);
    QVERIFY2(cpuUsed < std::chrono::milliseconds(200),
             qPrintable(QString("CPU used while idle: %1 ms").arg(cpuUsed.count())));

    const QString reason = lost.at(0).at(0).toString();
    QVERIFY2(reason.startsWith("The connection to the camera on COM1 ("
                               + QString::fromLocal8Bit(m_slavePath)
                               + ") was lost: the line was hung up"),
             qPrintable(reason));
    QVERIFY(!lockedElsewhere(m_slavePath));

    QElapsedTimer t;
    t.start();
    link.close();
    QVERIFY(t.elapsed() < 100);
}

void TestSerialLink::destructorReleasesWithoutSending()
{
    // Keep the line up after the link lets go, so that a byte sent late would still be seen.
    const int keeper = ::open(m_slavePath.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(keeper >= 0);
    {
        SerialLink link(m_assembler);
        link.open();
        link.writeByte('b');
    }
    QVERIFY(!lockedElsewhere(m_slavePath));
    QCOMPARE(drainMaster(200), QByteArray());
    ::close(keeper);
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
