#include "tests/reliability/LiveWindow.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxRead = 16383; // bytes a load may deliver; a zero always follows
constexpr qint64 kMaxLoadMs = 2000;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray pngImage()
{
    QImage image(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 8, (x ^ y) * 4));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The end of a FIFO that a writer holds open and never closes.
class HeldFifo
{
public:
    explicit HeldFifo(const QString &path)
    {
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) == 0)
            m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd >= 0 && ::write(m_fd, "abc\n", 4) != 4) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~HeldFifo()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isValid() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace

// Load Image and the movie against files that are not what they should be. Each one either
// loads what the file rules give or shows one clear error naming the file, never hangs, and
// leaves the window fully usable.
class TestHostileFiles : public QObject
{
    Q_OBJECT

    LiveWindow live;

    // Loads path through the button, the dialog answered with it; returns how long it took.
    qint64 load(const QString &path)
    {
        live.prompts.answers << path;
        QElapsedTimer clock;
        clock.start();
        live.click("btnLoad");
        return clock.elapsed();
    }

    void verifyShows(const QByteArray &frame)
    {
        QVERIFY(live.window->imagePresent);
        const std::uint8_t *shown = live.window->displayBuffer->data();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(shown), frame.size()), frame);
        QCOMPARE(
            QByteArray(reinterpret_cast<const char *>(shown) + frame.size(), 16384 - frame.size()),
            QByteArray(16384 - frame.size(), '\0'));
    }

    // The window still loads a good file as if nothing had happened.
    void verifyStillLoads()
    {
        const qsizetype errors = live.prompts.errors.size();
        const QString good = live.workPath("good.kvr");
        writeFile(good, "good\r\nframe");
        load(good);
        QCOMPARE(live.window->windowTitle(), "Kelvra 23   " + good + " opened");
        verifyShows("good\nframe");
        QCOMPARE(live.prompts.errors.size(), errors);
    }

private slots:
    void initTestCase() { live.enter(); }
    void cleanupTestCase() { live.leave(); }
    void init() { live.open(); }
    void cleanup() { live.close(); }

    void hostileLoads_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("loaded"); // what the view gets, when the file loads
        QTest::addColumn<QString>("reason"); // what the error says, when it does not

        QByteArray png = pngImage();
        png.replace("\r\n", "\n");
        QTest::newRow("empty file") << "empty" << QByteArray() << QString();
        QTest::newRow("directory") << "directory" << QByteArray() << "Is a directory";
        QTest::newRow("FIFO without writer") << "fifo" << QByteArray() << "Is a FIFO";
        QTest::newRow("FIFO with a writer that never closes")
            << "heldFifo" << QByteArray() << "Is a FIFO";
        QTest::newRow("/dev/zero") << "/dev/zero" << QByteArray() << QString();
        QTest::newRow("1 GiB sparse file") << "sparse" << QByteArray(kMaxRead, 'x') << QString();
        QTest::newRow("PNG image") << "png" << png.left(kMaxRead) << QString();
        QTest::newRow("spaces and non-ASCII letters in the path")
            << "unicode" << QByteArray("Grüße\nzeile") << QString();
    }

    void hostileLoads()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, loaded);
        QFETCH(QString, reason);

        QString path = live.workPath("file.kvr");
        std::unique_ptr<HeldFifo> fifo;
        if (kind == "empty") {
            writeFile(path, QByteArray());
        } else if (kind == "directory") {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == "heldFifo") {
            fifo = std::make_unique<HeldFifo>(path);
            QVERIFY(fifo->isValid());
        } else if (kind == "sparse") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(QByteArray(20000, 'x')), qint64(20000));
            QVERIFY(f.resize(qint64(1) << 30)); // the rest is a hole
        } else if (kind == "png") {
            path = live.workPath("picture.png");
            writeFile(path, pngImage());
        } else if (kind == "unicode") {
            QVERIFY(QDir(live.work->path()).mkpath("Meine Aufnahmen/Größe 2"));
            path = live.workPath("Meine Aufnahmen/Größe 2/Bild ü 1.kvr");
            writeFile(path, QStringLiteral("Grüße\r\nzeile").toUtf8());
            loaded = QStringLiteral("Grüße\nzeile").toUtf8();
        } else {
            path = kind;
        }

        const qint64 loadMs = load(path);
        QVERIFY2(loadMs < kMaxLoadMs, qPrintable(QString::number(loadMs)));
        if (reason.isEmpty()) {
            QVERIFY2(live.prompts.errors.isEmpty(), qPrintable(live.prompts.errors.join('\n')));
            QCOMPARE(live.window->windowTitle(), "Kelvra 23   " + path + " opened");
            verifyShows(loaded);
        } else {
            QCOMPARE(live.prompts.errors.size(), 1);
            QVERIFY2(live.prompts.errors[0].contains(path)
                         && live.prompts.errors[0].contains(reason),
                     qPrintable(live.prompts.errors[0]));
            QCOMPARE(live.window->windowTitle(), QString("Kelvra 23"));
            QVERIFY(!live.window->imagePresent);
        }
        verifyStillLoads();
    }

    void movieStopsAtAHole()
    {
        const QString folder = live.workPath("Film ä 1");
        QVERIFY(QDir().mkpath(folder));
        for (const int k : {0, 1, 3}) // live_2 is missing
            writeFile(folder + QStringLiteral("/live_%1.kvr").arg(k),
                      QByteArray(200, char('A' + k)));

        live.prompts.answers << folder + "/live_3.kvr";
        live.click("btnMov");
        QTRY_VERIFY(!live.state.moviePlaying);
        QCOMPARE(live.prompts.errors.size(), 1);
        QVERIFY2(live.prompts.errors[0].contains(folder + "/live_2.kvr")
                     && live.prompts.errors[0].contains("No such file"),
                 qPrintable(live.prompts.errors[0]));
        QCOMPARE(live.button("btnMov")->text(), QString("Load &Movie"));
        // The last frame that played stays on screen.
        QCOMPARE(live.window->windowTitle(), "Kelvra 23   " + folder + "/live_1.kvr opened");
        verifyShows(QByteArray(200, 'B'));
        verifyStillLoads();
    }
};

QTEST_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
