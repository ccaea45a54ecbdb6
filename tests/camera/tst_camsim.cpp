#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPixels = 15744;
const QString kCamsim = QStringLiteral(KELVRA_BIN_DIR "/kelvra-camsim");

// The viewer's end of the simulator's line.
class Line
{
public:
    explicit Line(const QByteArray &path)
        : m_fd(::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        if (m_fd >= 0) {
            termios tio {};
            ::tcgetattr(m_fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~Line()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    void send(char c) { QCOMPARE(::write(m_fd, &c, 1), ssize_t(1)); }

    // Reads what arrives within timeoutMs; returns false when nothing came.
    bool readSome(QByteArray &into, int timeoutMs)
    {
        pollfd pfd {m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0 || !(pfd.revents & POLLIN))
            return false;
        char buf[65536];
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        into.append(buf, n);
        return true;
    }

    // Reads until count terminators have arrived or timeoutMs passes.
    QByteArray readFrames(int count, int timeoutMs)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.count('\xFF') < count && !t.hasExpired(timeoutMs))
            readSome(got, 50);
        return got;
    }

private:
    int m_fd;
};

struct Simulator
{
    QTemporaryDir config;
    QProcess process;
    QByteArray slavePath;

    QString linkPath(const QString &port) const
    {
        return config.path() + "/kelvra23/ports/" + port;
    }

    bool start(const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        process.setProcessEnvironment(env);
        process.start(kCamsim, args);
        if (!process.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (!process.canReadLine() && !t.hasExpired(5000))
            process.waitForReadyRead(100);
        slavePath = process.readLine().trimmed();
        return !slavePath.isEmpty();
    }
    ~Simulator()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

void verifyFrames(const QByteArray &stream, int count)
{
    const QList<QByteArray> parts = stream.split('\xFF');
    QVERIFY2(parts.size() > count, qPrintable(QString::number(parts.size())));
    for (int i = 0; i < count; ++i) {
        const QByteArray &frame = parts[i];
        QCOMPARE(frame.size(), kPixels);
        QVERIFY(std::all_of(frame.begin(), frame.end(), [](char c) {
            const auto p = static_cast<unsigned char>(c);
            return p >= 1 && p <= 254;
        }));
    }
}

} // namespace

class TestCamsim : public QObject
{
    Q_OBJECT

private slots:
    void streamsOnStartStopsOnStopCleansUpOnInterrupt();
    void pacesFramesAndStopsAfterCount();
    void commandLine_data();
    void commandLine();
};

void TestCamsim::streamsOnStartStopsOnStopCleansUpOnInterrupt()
{
    Simulator sim;
    QVERIFY(sim.config.isValid());
    QVERIFY(sim.start({"--unpaced", "--port", "COM3"}));
    QCOMPARE(QFileInfo(sim.linkPath("COM3")).symLinkTarget(),
             QString::fromLocal8Bit(sim.slavePath));

    Line line(sim.slavePath);
    QVERIFY(line.isOpen());

    // Silent until started.
    QByteArray before;
    QVERIFY(!line.readSome(before, 200));

    line.send('a');
    verifyFrames(line.readFrames(3, 10000), 3);

    // After 'b' only the bytes already on their way arrive, then the line goes quiet.
    line.send('b');
    QByteArray tail;
    QElapsedTimer t;
    t.start();
    bool quiet = false;
    while (!t.hasExpired(5000)) {
        if (!line.readSome(tail, 500)) {
            quiet = true;
            break;
        }
    }
    QVERIFY2(quiet, "streaming did not stop");

    // Interrupted, it removes its port link.
    ::kill(pid_t(sim.process.processId()), SIGINT);
    QVERIFY(sim.process.waitForFinished(5000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(sim.linkPath("COM3")).isSymLink());
}

void TestCamsim::pacesFramesAndStopsAfterCount()
{
    Simulator sim;
    QVERIFY(sim.start({"--fps", "20", "--frames", "4"}));
    Line line(sim.slavePath);
    QVERIFY(line.isOpen());

    QElapsedTimer t;
    t.start();
    line.send('a');
    const QByteArray stream = line.readFrames(4, 10000);
    const qint64 elapsed = t.elapsed();
    verifyFrames(stream, 4);
    // Four frames at 20 per second: three gaps of 50 ms at least.
    QVERIFY2(elapsed >= 140, qPrintable(QString::number(elapsed)));

    QVERIFY(sim.process.waitForFinished(10000));
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(sim.linkPath("COM1")).isSymLink());
}

void TestCamsim::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // expected start of stdout (exit 0) or stderr

    QTest::newRow("version") << QStringList {"--version"} << 0
                             << QStringLiteral("kelvra-camsim " KELVRA_VERSION "\n");
    QTest::newRow("help") << QStringList {"--help"} << 0 << "Usage: kelvra-camsim";
    QTest::newRow("unknown option")
        << QStringList {"--bogus"} << 2 << "kelvra-camsim: unknown option";
    QTest::newRow("bad port") << QStringList {"--port", "LPT1"} << 2 << "kelvra-camsim: bad port";
    QTest::newRow("bad fps") << QStringList {"--fps", "fast"} << 2
                             << "kelvra-camsim: bad frame rate";
    QTest::newRow("zero frames") << QStringList {"--frames", "0"} << 2
                                 << "kelvra-camsim: bad frame count";
    QTest::newRow("missing value") << QStringList {"--seed"} << 2 << "kelvra-camsim: option --seed";
    QTest::newRow("replay without files")
        << QStringList {"--replay"} << 2 << "kelvra-camsim: option --replay";
    QTest::newRow("unreadable replay file")
        << QStringList {"--replay", "/nonexistent/f.kvr"} << 1 << "kelvra-camsim: cannot read";
}

void TestCamsim::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QTemporaryDir config;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
    p.setProcessEnvironment(env);
    p.start(kCamsim, args);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), exitCode);
    const QString text = QString::fromLocal8Bit(exitCode == 0 ? p.readAllStandardOutput()
                                                              : p.readAllStandardError());
    QVERIFY2(text.startsWith(output), qPrintable(text));
    if (exitCode != 0)
        QCOMPARE(text.count('\n'), 1); // one line
    QVERIFY(!QFileInfo(config.path() + "/kelvra23/ports/COM1").isSymLink());
}

QTEST_GUILESS_MAIN(TestCamsim)
#include "tst_camsim.moc"
