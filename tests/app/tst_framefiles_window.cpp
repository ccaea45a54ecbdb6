#include "app/TfrmMain.h"
#include "app/ViewState.h"
#include "tests/support/FakePrompts.h"
#include "view/OpenGLAPPanel.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

// Frozen saves, Load Image and movie playback, driven through the window's buttons with the
// file dialog answered by FakePrompts. Each test runs in a fresh working directory.
class TestFrameFilesWindow : public QObject
{
    Q_OBJECT

    ViewState state;
    FakePrompts prompts;
    std::unique_ptr<TfrmMain> window;
    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;

    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(name); }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QString path(const QString &name) const { return dir->filePath(name); }

    void writeSeries(int last, const QString &prefix = QStringLiteral("live_"))
    {
        for (int k = 0; k <= last; ++k)
            writeFile(path(prefix + QString::number(k) + ".kvr"), QByteArray(100, char(10 + k)));
    }

private slots:
    void initTestCase() { previousDir = QDir::currentPath(); }
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
        state = ViewState();
        prompts = FakePrompts();
        window = std::make_unique<TfrmMain>(state, prompts);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup()
    {
        window.reset();
        QDir::setCurrent(previousDir);
        dir.reset();
    }

    void frozenSavesNumberFilesAndNotify()
    {
        // Before any frame: an empty file, no notice, and the counter still advances.
        click("btnCapt");
        QCOMPARE(QFileInfo(path("frozen_0.kvr")).size(), 0);
        QVERIFY(prompts.notices.isEmpty());

        window->VaCapture1Message(std::string("ab\ncd"));
        click("btnCapt");
        click("btnCapt");
        QCOMPARE(readAll(path("frozen_1.kvr")), QByteArray("ab\r\ncd"));
        QCOMPARE(readAll(path("frozen_2.kvr")), QByteArray("ab\r\ncd"));
        QCOMPARE(prompts.notices,
                 QStringList({"Image saved successfully!", "Image saved successfully!"}));
        QCOMPARE(state.frozenFrameCount, 3);
        QCOMPARE(state.frozenFileName, std::string("./frozen_2.kvr"));
        QVERIFY(prompts.errors.isEmpty());
    }

    void frozenSaveFailureIsReported()
    {
        QVERIFY(QFile::link("/dev/full", path("frozen_0.kvr")));
        window->VaCapture1Message(std::string(50, 'x'));
        click("btnCapt");
        QVERIFY(prompts.notices.isEmpty());
        QCOMPARE(prompts.errors.size(), 1);
        QVERIFY2(prompts.errors[0].contains("frozen_0.kvr")
                     && prompts.errors[0].contains("No space left"),
                 qPrintable(prompts.errors[0]));
        QCOMPARE(state.frozenFrameCount, 1);
    }

    void loadShowsTheFrameAndCancelClearsIt()
    {
        // A 15744-byte frame fills every point; the first point shows the zero after it.
        QByteArray frame(15744, char(100));
        frame[0] = char(7);
        writeFile(path("frame.kvr"), frame);
        prompts.answers << path("frame.kvr");
        click("btnLoad");
        QCOMPARE(prompts.dialogs.size(), 1);
        QCOMPARE(prompts.dialogs[0].title, QString("Select Image File"));
        QCOMPARE(prompts.dialogs[0].folder, dir->path());
        QCOMPARE(prompts.dialogs[0].filters,
                 QStringList({"Text Files (*.txt)", "Kelvra Data Files (*.kvr)", "All Files (*)"}));
        QCOMPARE(prompts.dialogs[0].selectedFilter, 1);
        QCOMPARE(window->windowTitle(), "Kelvra 23   " + path("frame.kvr") + " opened");
        QVERIFY(window->imagePresent);
        QCOMPARE(state.loadedFileName, path("frame.kvr").toStdString());
        QCOMPARE((*window->displayBuffer)[0], std::uint8_t(7));
        QCOMPARE((*window->displayBuffer)[15743], std::uint8_t(100));
        QCOMPARE((*window->displayBuffer)[15744], std::uint8_t(0));

        const QImage image
            = window->view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        int lit = 0, zero = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                lit += (image.pixel(x, y) & 0xFFFFFF) == 0xC9C9C9; // grey 100: (2*100+1)/255
                zero += (image.pixel(x, y) & 0xFFFFFF) == 0x010101; // grey 0
            }
        QVERIFY2(lit > 15600, qPrintable(QString::number(lit)));
        QCOMPARE(zero, 1);

        // A frozen save writes the loaded frame.
        click("btnCapt");
        QCOMPARE(readAll(path("frozen_0.kvr")), frame);

        click("btnLoad"); // cancelled
        QCOMPARE(window->windowTitle(), QString("Kelvra 23"));
        QVERIFY(!window->imagePresent);
        QVERIFY(prompts.errors.isEmpty());
    }

    void loadFailureShowsTheReason()
    {
        window->VaCapture1Message(std::string(50, 'x'));
        prompts.answers << path("missing.kvr");
        click("btnLoad");
        QCOMPARE(prompts.errors.size(), 1);
        QVERIFY(prompts.errors[0].contains("missing.kvr"));
        QVERIFY(prompts.errors[0].contains("No such file or directory"));
        QVERIFY(!window->imagePresent);
        QCOMPARE(window->windowTitle(), QString("Kelvra 23"));
    }

    void movieCyclesThroughTheSeries()
    {
        writeSeries(2);
        QStringList steps;
        connect(window.get(), &QWidget::windowTitleChanged, this,
                [&](const QString &title) { steps << title + " | " + window->statusText(3); });
        prompts.answers << path("live_2.kvr");
        click("btnMov");
        QCOMPARE(prompts.dialogs[0].filters, QStringList({"Kelvra Data Files (*.kvr)"}));
        QCOMPARE(button("btnMov")->text(), QString("Stop &Movie"));
        QVERIFY(state.moviePlaying);
        QTRY_VERIFY_WITH_TIMEOUT(steps.size() >= 5, 5000);
        const QString opened = QStringLiteral("Kelvra 23   %1 opened | Frame: %2");
        for (int i = 0; i < 5; ++i)
            QCOMPARE(steps[i],
                     opened.arg(path(QStringLiteral("live_%1.kvr").arg(i % 3))).arg(i % 3));
        QCOMPARE((*window->displayBuffer)[0], std::uint8_t(10 + (steps.size() - 1) % 3));

        click("btnMov"); // stop: the last frame stays
        const QString last = window->windowTitle();
        QVERIFY(!state.moviePlaying);
        QCOMPARE(button("btnMov")->text(), QString("Load &Movie"));
        QVERIFY(window->imagePresent);
        QVERIFY(!window->findChild<QTimer *>("movieTimer")->isActive());
        QCOMPARE(window->windowTitle(), last);
        QVERIFY(prompts.errors.isEmpty());
    }

    void movieNameRule_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("plays");
        QTest::newRow("one digit") << "live_5.kvr" << true;
        QTest::newRow("leading zero") << "live_03.kvr" << true;
        QTest::newRow("other case") << "LIVE_5.kvr" << false;
        QTest::newRow("no live_") << "frozen_5.kvr" << false;
        QTest::newRow("no digit") << "live_x.kvr" << false;
    }
    void movieNameRule()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, plays);
        writeSeries(5);
        writeFile(path(chosen), QByteArray(10, 'z'));
        prompts.answers << path(chosen);
        click("btnMov");
        QVERIFY(state.moviePlaying); // a wrong name leaves the toggle set, as a cancel does
        if (plays) {
            QCOMPARE(window->windowTitle(), "Kelvra 23   " + path("live_0.kvr") + " opened");
            QVERIFY(prompts.notices.isEmpty());
        } else {
            QCOMPARE(prompts.notices, QStringList({"Only live_xx.kvr format is allowed"}));
            QCOMPARE(button("btnMov")->text(), QString("Load &Movie"));
            click("btnMov"); // resets the toggle only
            QVERIFY(!state.moviePlaying);
            QCOMPARE(prompts.dialogs.size(), 1);
        }
        QVERIFY(prompts.errors.isEmpty());
    }

    void movieCancelClearsTheView()
    {
        window->VaCapture1Message(std::string(50, 'x'));
        click("btnMov"); // no answer queued: cancel
        QCOMPARE(window->windowTitle(), QString("Kelvra 23"));
        QVERIFY(!window->imagePresent);
        QVERIFY(state.moviePlaying);
    }

    void movieStopsAtAMissingFile()
    {
        writeSeries(2);
        QVERIFY(QFile::remove(path("live_1.kvr")));
        prompts.answers << path("live_2.kvr");
        click("btnMov");
        QTRY_VERIFY(!state.moviePlaying);
        QCOMPARE(button("btnMov")->text(), QString("Load &Movie"));
        QCOMPARE(prompts.errors.size(), 1);
        QVERIFY2(prompts.errors[0].contains("live_1.kvr")
                     && prompts.errors[0].contains("No such file"),
                 qPrintable(prompts.errors[0]));
        QCOMPARE(window->windowTitle(), "Kelvra 23   " + path("live_0.kvr") + " opened");
    }

    void closingTheWindowEndsPlayback()
    {
        writeSeries(1);
        prompts.answers << path("live_1.kvr");
        click("btnMov");
        QVERIFY(state.moviePlaying);
        QVERIFY(window->close());
        QVERIFY(!state.moviePlaying);
        QVERIFY(!window->findChild<QTimer *>("movieTimer")->isActive());
    }

    void everythingWorksWhileTheMoviePlays()
    {
        writeSeries(1);
        prompts.answers << path("live_1.kvr");
        click("btnMov");
        window->VaCapture1Message(std::string("live"));
        QCOMPARE(window->frameText, std::string("live"));
        click("btnCapt"); // saves the live frame, the current one
        QCOMPARE(readAll(path("frozen_0.kvr")), QByteArray("live"));
        QTest::mouseClick(window->view(), Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(state.zoom, -10.0f);
        QTRY_COMPARE(window->statusText(3), QString("Frame: 1")); // still stepping
        QVERIFY(state.moviePlaying);
    }
};

QTEST_MAIN(TestFrameFilesWindow)
#include "tst_framefiles_window.moc"
