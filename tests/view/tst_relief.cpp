#include "app/TfrmMain.h"
#include "app/ViewState.h"
#include "tests/support/FakePrompts.h"
#include "view/OpenGLAPPanel.h"
#include "view/PointCloud.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTest>

#include <memory>

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);

int countColour(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

// Pixels that are neither the black background nor the red axes.
int countOtherPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y) & 0xFFFFFF;
            n += p != 0 && p != (kRed & 0xFFFFFF);
        }
    return n;
}

QRect boundsOf(const QImage &image, QRgb colour)
{
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                r |= QRect(x, y, 1, 1);
    return r;
}

QImage onlyColour(const QImage &image, QRgb colour)
{
    QImage mask(image.size(), QImage::Format_Mono);
    mask.fill(0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                mask.setPixel(x, y, 1);
    return mask;
}

} // namespace

class TestRelief : public QObject
{
    Q_OBJECT

    ViewState state;
    FakePrompts prompts;
    std::unique_ptr<TfrmMain> window;

    void showFrame(std::uint8_t fill)
    {
        window->displayBuffer = makeFrameBuffer();
        window->displayBuffer->fill(fill);
        window->imagePresent = true;
        window->frameChanged();
    }
    QImage picture()
    {
        return window->view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    }

private slots:
    void init()
    {
        state = ViewState();
        window = std::make_unique<TfrmMain>(state, prompts);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() { window.reset(); }

    void axesOnlyWithoutFrame()
    {
        const QImage image = picture();
        QCOMPARE(image.size(), QSize(577, 577));
        QCOMPARE(countOtherPixels(image), 0);
        // Two red lines of 40 units cross at the centre; the Z axis points at the eye.
        // 20 units at 200 from the eye span 20 * cot(22.5 deg) / 200 of the half view.
        const QRect red = boundsOf(image, kRed);
        const int half = qRound(20 * 2.41421356 / 200 * 288.5);
        QVERIFY2(qAbs(red.width() / 2 - half) <= 2, qPrintable(QString::number(red.width())));
        QVERIFY(qAbs(red.height() / 2 - half) <= 2);
        QVERIFY(qAbs(red.center().x() - 288) <= 1 && qAbs(red.center().y() - 288) <= 1);
        QCOMPARE(image.pixel(288, 288) & 0xFFFFFF, kRed & 0xFFFFFF);
        QCOMPARE(state.pixelCursor, 15744);
    }

    void flatLayersAndGreyLevels_data()
    {
        QTest::addColumn<int>("fill");
        QTest::addColumn<int>("divisor");
        QTest::addColumn<QRgb>("grey"); // 0: nothing but background and axes
        // Brightness 200 at divisor 1 is a negative signed byte: black.
        QTest::newRow("200 at divisor 1 is black") << 200 << 1 << QRgb(0);
        // At divisor 2 it is grey level 100 of 127, which GL gives as (2 * 100 + 1) / 255.
        QTest::newRow("200 at divisor 2 is grey 100") << 200 << 2 << qRgb(201, 201, 201);
        // Zeros are grey level 0, one step above the black background.
        QTest::newRow("zeros are a black grid") << 0 << 1 << qRgb(1, 1, 1);
        QTest::newRow("127 is full white") << 127 << 1 << qRgb(255, 255, 255);
    }
    void flatLayersAndGreyLevels()
    {
        QFETCH(int, fill);
        QFETCH(int, divisor);
        QFETCH(QRgb, grey);
        state.brightDivisor = divisor;
        showFrame(std::uint8_t(fill));
        const QImage image = picture();
        if (grey == 0) {
            QCOMPARE(countOtherPixels(image), 0);
        } else {
            // One pixel per point, apart from the few under the axes.
            const int points = countColour(image, grey);
            QVERIFY2(points > 15600 && points <= 15744, qPrintable(QString::number(points)));
            QCOMPARE(countOtherPixels(image), points);
        }
        QCOMPARE(state.pixelCursor, 15744);
    }

    void heightLiftsTheLayer()
    {
        // Seen from the front, a layer nearer the eye spreads wider: z 4 (200 / 50) against
        // z 200 (200 / 1), which stands 20 units from the eye instead of 216.
        state.brightDivisor = 2;
        showFrame(200);
        const QRect low = boundsOf(picture(), qRgb(201, 201, 201));
        state.heightRatio = 10; // z 20
        const QRect high = boundsOf(picture(), qRgb(201, 201, 201));
        QVERIFY2(high.width() > low.width() * 1.05,
                 qPrintable(QString("%1 %2").arg(high.width()).arg(low.width())));
    }

    void zoomMovesTheCloudNotTheAxes()
    {
        state.brightDivisor = 2;
        showFrame(100);
        const QRgb grey = qRgb(101, 101, 101);
        const QImage far = picture();
        state.zoom = 60.0f; // 140 units from the eye instead of 220
        const QImage near = picture();
        QVERIFY(boundsOf(near, grey).width() > boundsOf(far, grey).width() * 1.4);
        QCOMPARE(onlyColour(near, kRed), onlyColour(far, kRed));
    }

    void batchedMatchesPointByPoint_data()
    {
        QTest::addColumn<float>("rotX");
        QTest::addColumn<float>("rotY");
        QTest::addColumn<float>("zoom");
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<int>("heightRatio");
        QTest::addColumn<int>("divisor");
        QTest::newRow("start view") << 0.0f << 0.0f << -20.0f << 1 << 50 << 1;
        QTest::newRow("turned, big points") << 30.0f << -40.0f << -20.0f << 4 << 5 << 2;
        QTest::newRow("edge-on, near") << -90.0f << 15.0f << 100.0f << 2 << 1 << 3;
        QTest::newRow("tall relief") << 200.0f << 123.0f << -60.0f << 10 << 1 << 5;
    }
    void batchedMatchesPointByPoint()
    {
        QFETCH(float, rotX);
        QFETCH(float, rotY);
        QFETCH(float, zoom);
        QFETCH(int, pointSize);
        QFETCH(int, heightRatio);
        QFETCH(int, divisor);
        window->displayBuffer = makeFrameBuffer();
        QRandomGenerator random(7);
        for (auto &byte : *window->displayBuffer)
            byte = std::uint8_t(random.bounded(256));
        window->imagePresent = true;
        window->frameChanged();
        state.rotX = rotX;
        state.rotY = rotY;
        state.zoom = zoom;
        state.pointSize = pointSize;
        state.heightRatio = heightRatio;
        state.brightDivisor = divisor;

        window->renderer().setMode(ReliefRenderer::Mode::PointByPoint);
        const QImage reference = picture();
        QCOMPARE(state.pixelCursor, 15744);
        window->renderer().setMode(ReliefRenderer::Mode::Batched);
        const QImage batched = picture();
        QVERIFY(countOtherPixels(reference) > 1000);
        QCOMPARE(batched, reference);
    }

    void zeroHeightPanelGetsOnePixel()
    {
        OpenGLAPPanel *view = window->view();
        view->resize(view->width(), 0);
        QTRY_COMPARE(view->height(), 1);
        view->grabFramebuffer();
        QCOMPARE(window->renderer().viewport().height, 1);
        QCOMPARE(window->renderer().viewport().width, 577);
    }
};

QTEST_MAIN(TestRelief)
#include "tst_relief.moc"
