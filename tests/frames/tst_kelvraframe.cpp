#include "frames/FrameFile.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>

namespace {

constexpr int kWidth = 128;
constexpr int kHeight = 123;
constexpr int kTimeoutMs = 30000;

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runTool(const QStringList &arguments, const QString &workDir)
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(QStringLiteral(KELVRA_BIN_DIR "/kelvra-frame"), arguments);
    Run run;
    if (!process.waitForFinished(kTimeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Every byte value, 0x00, 0x0A, 0x0D and 0xFF included, laid out so that a mirrored or
// shifted picture does not match.
QImage testPattern()
{
    QImage image(kWidth, kHeight, QImage::Format_Grayscale8);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            image.scanLine(y)[x] = uchar((x * 7 + y * 131 + (x * y) % 5) % 256);
    }
    return image;
}

} // namespace

class TestKelvraFrame : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void roundTripKeepsEveryPixel_data();
    void roundTripKeepsEveryPixel();
    void scalesOtherSizes();
    void badInputLeavesNoOutput_data();
    void badInputLeavesNoOutput();
    void versionAndHelp();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestKelvraFrame::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestKelvraFrame::roundTripKeepsEveryPixel_data()
{
    QTest::addColumn<QString>("inputFormat");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("outputName");

    QTest::newRow("pgm in, pgm out") << "PGM"
                                     << "to-pgm"
                                     << "back.pgm";
    QTest::newRow("png in, png out") << "PNG"
                                     << "to-png"
                                     << "back.png";
}

void TestKelvraFrame::roundTripKeepsEveryPixel()
{
    QFETCH(QString, inputFormat);
    QFETCH(QString, command);
    QFETCH(QString, outputName);

    const QImage pattern = testPattern();
    const QString input = path("pattern." + inputFormat.toLower());
    QVERIFY(pattern.save(input, qPrintable(inputFormat)));

    const Run made = runTool({"from-image", input, path("pattern.kvr")}, m_dir->path());
    QVERIFY2(made.exitCode == 0, made.err.constData());
    const Run shown = runTool({command, path("pattern.kvr"), path(outputName)}, m_dir->path());
    QVERIFY2(shown.exitCode == 0, shown.err.constData());

    // What the viewer loads: the point of row r, column c reads index 15744 - 128r - c and is
    // drawn at x = c, y = 122 - r.
    std::array<std::uint8_t, kFrameBufferSize> buffer {};
    const FrameReadResult read = readFrameFile(path("pattern.kvr").toStdString(), buffer.data());
    QVERIFY2(read.ok(), read.reason.c_str());
    const QImage back(path(outputName));
    QCOMPARE(back.size(), QSize(kWidth, kHeight));
    for (int r = 0; r < kHeight; ++r) {
        for (int c = 0; c < kWidth; ++c) {
            const int want = std::clamp(qGray(pattern.pixel(c, kHeight - 1 - r)), 1, 254);
            const int loaded = buffer[std::size_t(15744 - 128 * r - c)];
            const int pictured = qGray(back.pixel(c, kHeight - 1 - r));
            if (loaded != want || pictured != want)
                QFAIL(qPrintable(QStringLiteral("row %1 column %2: want %3, loaded %4, pictured %5")
                                     .arg(r)
                                     .arg(c)
                                     .arg(want)
                                     .arg(loaded)
                                     .arg(pictured)));
        }
    }
}

void TestKelvraFrame::scalesOtherSizes()
{
    QImage big(400, 300, QImage::Format_RGB32);
    big.fill(QColor(100, 100, 100));
    QVERIFY(big.save(path("big.png")));

    QVERIFY(runTool({"from-image", path("big.png"), path("big.kvr")}, m_dir->path()).exitCode == 0);
    const Run info = runTool({"info", path("big.kvr")}, m_dir->path());
    QCOMPARE(info.exitCode, 0);
    // One padding byte before the 15744 pixels; every value the grey of the image.
    QCOMPARE(info.out, QByteArray("bytes: 15745\nmin: 1\nmax: 100\nmean: 99.994\n"));
}

void TestKelvraFrame::badInputLeavesNoOutput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("missing frame") << QStringList {"to-pgm", "absent.kvr", "out.pgm"} << 1;
    QTest::newRow("directory as frame") << QStringList {"to-png", "sub", "out.png"} << 1;
    QTest::newRow("over-long frame") << QStringList {"to-pgm", "long.kvr", "out.pgm"} << 1;
    QTest::newRow("over-long frame info") << QStringList {"info", "long.kvr"} << 1;
    QTest::newRow("not an image") << QStringList {"from-image", "notes.png", "out.kvr"} << 1;
    QTest::newRow("missing image") << QStringList {"from-image", "absent.png", "out.kvr"} << 1;
    QTest::newRow("output folder missing")
        << QStringList {"from-image", "good.png", "none/out.kvr"} << 1;
    QTest::newRow("unknown command") << QStringList {"to-bmp", "good.kvr", "out.bmp"} << 2;
    QTest::newRow("missing operand") << QStringList {"to-pgm", "good.kvr"} << 2;
    QTest::newRow("no command") << QStringList {} << 2;
}

void TestKelvraFrame::badInputLeavesNoOutput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);

    QVERIFY(QDir(m_dir->path()).mkdir("sub"));
    QFile longFrame(path("long.kvr"));
    QVERIFY(longFrame.open(QIODevice::WriteOnly));
    longFrame.write(QByteArray(int(kMaxFrameRead) + 1, 'x'));
    longFrame.close();
    QFile notes(path("notes.png"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture\n");
    notes.close();
    QImage good(kWidth, kHeight, QImage::Format_Grayscale8);
    good.fill(50);
    QVERIFY(good.save(path("good.png")));
    QVERIFY(runTool({"from-image", "good.png", "good.kvr"}, m_dir->path()).exitCode == 0);
    const QStringList before = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden);

    const Run run = runTool(arguments, m_dir->path());
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.startsWith("kelvra-frame: "), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY(run.out.isEmpty());
    // Nothing new in the folder: no output and no leftover temporary file.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden), before);
}

void TestKelvraFrame::versionAndHelp()
{
    const Run version = runTool({"--version"}, m_dir->path());
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QByteArray("kelvra-frame " KELVRA_VERSION "\n"));
    const Run help = runTool({"--help"}, m_dir->path());
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.contains("from-image"));
}

QTEST_GUILESS_MAIN(TestKelvraFrame)
#include "tst_kelvraframe.moc"
