#include "frames/FrameFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray repeated(const char *pattern, int times)
{
    return QByteArray(pattern).repeated(times);
}

using Buffer = std::array<std::uint8_t, kFrameBufferSize>;

// A buffer full of stale bytes, so a read that forgets the terminator or the tail shows.
Buffer staleBuffer()
{
    Buffer buffer;
    buffer.fill(0xEE);
    return buffer;
}

// The buffer holds expected from index 0, then zeros to the end.
void verifyBuffer(const Buffer &buffer, const QByteArray &expected)
{
    const auto n = static_cast<std::size_t>(expected.size());
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()), qsizetype(n)), expected);
    for (std::size_t i = n; i < buffer.size(); ++i) {
        if (buffer[i] != 0)
            QFAIL(qPrintable(QStringLiteral("byte %1 after the frame is not zero").arg(i)));
    }
}

} // namespace

class TestFrameFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void writeAndReadBack_data();
    void writeAndReadBack();
    void readFileBytes_data();
    void readFileBytes();
    void nullFrameLeavesEmptyFile();
    void readFailures_data();
    void readFailures();
    void writeFailures_data();
    void writeFailures();
    void fileNames();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFrameFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFrameFile::writeAndReadBack_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<QByteArray>("readBack");

    QByteArray everyByte;
    QByteArray everyByteOnDisk;
    for (int b = 1; b <= 255; ++b) {
        everyByte.append(char(b));
        if (b == 0x0A)
            everyByteOnDisk.append('\r');
        everyByteOnDisk.append(char(b));
    }

    QTest::newRow("line feed") << QByteArray("a\nb") << QByteArray("a\r\nb") << QByteArray("a\nb");
    QTest::newRow("lone CR") << QByteArray("a\rb") << QByteArray("a\rb") << QByteArray("a\rb");
    QTest::newRow("CR before LF") << QByteArray("a\r\nb") << QByteArray("a\r\r\nb")
                                  << QByteArray("a\r\nb");
    QTest::newRow("CR as last byte")
        << QByteArray("ab\r") << QByteArray("ab\r") << QByteArray("ab\r");
    QTest::newRow("0x1A is data") << QByteArray("a\x1A\nb") << QByteArray("a\x1A\r\nb")
                                  << QByteArray("a\x1A\nb");
    QTest::newRow("stops at first zero")
        << QByteArray("ab\0cd", 5) << QByteArray("ab") << QByteArray("ab");
    QTest::newRow("empty frame") << QByteArray("") << QByteArray() << QByteArray();
    QTest::newRow("every byte 1..255") << everyByte << everyByteOnDisk << everyByte;
    QTest::newRow("longest frame, all line feeds")
        << repeated("\n", int(kMaxFrameRead)) << repeated("\r\n", int(kMaxFrameRead))
        << repeated("\n", int(kMaxFrameRead));
}

void TestFrameFile::writeAndReadBack()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, onDisk);
    QFETCH(QByteArray, readBack);
    const QString file = path("frame.kvr");

    const FrameWriteResult written = writeFrameFile(
        file.toStdString(), reinterpret_cast<const std::uint8_t *>(frame.constData()));
    QCOMPARE(written.error, 0);
    QCOMPARE(written.bytesWritten, std::size_t(onDisk.size()));
    QCOMPARE(written.saved(), !onDisk.isEmpty());
    QCOMPARE(readAll(file), onDisk);
    QCOMPARE(QByteArray::fromStdString(encodeFrame(frame.toStdString())), onDisk);

    Buffer buffer = staleBuffer();
    const FrameReadResult read = readFrameFile(file.toStdString(), buffer.data());
    QVERIFY2(read.ok(), read.reason.c_str());
    QVERIFY(!read.truncated);
    QCOMPARE(read.bytesRead, std::size_t(readBack.size()));
    verifyBuffer(buffer, readBack);
}

void TestFrameFile::readFileBytes_data()
{
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("truncated");

    const QByteArray upToLimit(int(kMaxFrameRead) - 1, 'x');
    QTest::newRow("empty file") << QByteArray() << QByteArray() << false;
    QTest::newRow("lone CR before a pair") << QByteArray("\r\r\n") << QByteArray("\r\n") << false;
    QTest::newRow("exactly the limit")
        << QByteArray(int(kMaxFrameRead), 'x') << QByteArray(int(kMaxFrameRead), 'x') << false;
    QTest::newRow("over the limit")
        << QByteArray(20000, 'x') << QByteArray(int(kMaxFrameRead), 'x') << true;
    QTest::newRow("pair at the limit") << upToLimit + "\r\ny" << upToLimit + "\n" << true;
    QTest::newRow("lone CR at the limit") << upToLimit + "\ry" << upToLimit + "\r" << true;
    QTest::newRow("pairs over the limit")
        << repeated("\r\n", int(kMaxFrameRead) + 1) << repeated("\n", int(kMaxFrameRead)) << true;
}

void TestFrameFile::readFileBytes()
{
    QFETCH(QByteArray, onDisk);
    QFETCH(QByteArray, expected);
    QFETCH(bool, truncated);
    const QString file = path("raw.kvr");
    writeAll(file, onDisk);

    Buffer buffer = staleBuffer();
    const FrameReadResult read = readFrameFile(file.toStdString(), buffer.data());
    QVERIFY2(read.ok(), read.reason.c_str());
    QCOMPARE(read.bytesRead, std::size_t(expected.size()));
    QCOMPARE(read.truncated, truncated);
    verifyBuffer(buffer, expected);

    Buffer decoded = staleBuffer();
    QCOMPARE(decodeFrame(onDisk.toStdString(), decoded.data()), read.bytesRead);
    QVERIFY(decoded == buffer);
}

void TestFrameFile::nullFrameLeavesEmptyFile()
{
    const QString file = path("frozen_0.kvr");
    writeAll(file, "an older frame");

    const FrameWriteResult written = writeFrameFile(file.toStdString(), nullptr);
    QCOMPARE(written.bytesWritten, std::size_t(0));
    QCOMPARE(written.error, 0);
    QVERIFY(!written.saved());
    QVERIFY(QFile::exists(file));
    QCOMPARE(QFileInfo(file).size(), qint64(0));
}

void TestFrameFile::readFailures_data()
{
    QTest::addColumn<QString>("name"); // inside the test folder, or absolute
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("bytes");

    QTest::newRow("missing file") << "absent.kvr" << ENOENT << "No such file or directory" << 0;
    QTest::newRow("directory") << "." << EISDIR << "Is a directory" << 0;
    QTest::newRow("FIFO without writer") << "pipe" << EINVAL << "Is a FIFO, not a frame file" << 0;
    QTest::newRow("endless device") << "/dev/zero" << 0 << "" << int(kMaxFrameRead);
}

void TestFrameFile::readFailures()
{
    QFETCH(QString, name);
    QFETCH(int, error);
    QFETCH(QString, reason);
    QFETCH(int, bytes);
    if (name == "pipe")
        QCOMPARE(::mkfifo(path(name).toLocal8Bit().constData(), 0600), 0);
    const QString file = name.startsWith('/') ? name : path(name);

    Buffer buffer = staleBuffer();
    const FrameReadResult read = readFrameFile(file.toStdString(), buffer.data());
    QCOMPARE(read.error, error);
    QCOMPARE(QString::fromStdString(read.reason), reason);
    QCOMPARE(read.bytesRead, std::size_t(bytes));
    verifyBuffer(buffer, QByteArray(bytes, '\0'));
}

void TestFrameFile::writeFailures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("error");

    QTest::newRow("missing folder") << "missingFolder" << ENOENT;
    QTest::newRow("full device") << "fullDevice" << ENOSPC;
    QTest::newRow("FIFO without reader") << "fifo" << ENXIO;
    QTest::newRow("read-only folder") << "readOnlyFolder" << EACCES;
}

void TestFrameFile::writeFailures()
{
    QFETCH(QString, setup);
    QFETCH(int, error);

    QString file = path("live_0.kvr");
    if (setup == "missingFolder") {
        file = path("no/such/folder/live_0.kvr");
    } else if (setup == "fullDevice") {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full here");
        QVERIFY(QFile::link("/dev/full", file));
    } else if (setup == "fifo") {
        QCOMPARE(::mkfifo(file.toLocal8Bit().constData(), 0600), 0);
    } else if (setup == "readOnlyFolder") {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QVERIFY(
            QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }

    const QByteArray frame(15744, 'k');
    const FrameWriteResult written = writeFrameFile(
        file.toStdString(), reinterpret_cast<const std::uint8_t *>(frame.constData()));
    QFile::setPermissions(m_dir->path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!written.saved());
    QCOMPARE(written.error, error);
    QCOMPARE(written.reason, std::string(std::strerror(error)));
}

void TestFrameFile::fileNames()
{
    QCOMPARE(liveFileName(0), std::string("./live_0.kvr"));
    QCOMPARE(liveFileName(1234), std::string("./live_1234.kvr"));
    QCOMPARE(frozenFileName(7), std::string("./frozen_7.kvr"));
}

QTEST_APPLESS_MAIN(TestFrameFile)
#include "tst_framefile.moc"
