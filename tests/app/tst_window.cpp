#include "app/HandlerGuard.h"
#include "app/TfrmMain.h"
#include "app/ViewState.h"
#include "tests/support/FakePrompts.h"
#include "view/OpenGLAPPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <memory>
#include <stdexcept>

class TestWindow : public QObject
{
    Q_OBJECT

    ViewState state;
    FakePrompts prompts;
    std::unique_ptr<TfrmMain> window;

    template<typename T> T *control(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }

private slots:
    void init()
    {
        state = ViewState();
        prompts = FakePrompts();
        window = std::make_unique<TfrmMain>(state, prompts);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() { window.reset(); }

    void startUpTexts()
    {
        QCOMPARE(window->windowTitle(), QString("Kelvra 23"));
        QCOMPARE(window->size(), QSize(595, 775));
        QCOMPARE(window->statusText(1), QString("Port Closed"));
        QCOMPARE(window->statusText(3), QString("No frames loaded"));
        QCOMPARE(control<QLabel>("lblSize")->text(), QString("1"));
        QCOMPARE(control<QLabel>("lblHeight")->text(), QString("50"));
        QCOMPARE(control<QLabel>("lblBright")->text(), QString("1"));
        QCOMPARE(control<QPushButton>("btnStart")->text(), QString("&Open Port and Start Camera"));
        QCOMPARE(control<QPushButton>("btnCapt")->text(), QString("&Capture Frozen Image"));
        QCOMPARE(control<QPushButton>("btnLoad")->text(), QString("&Load Image "));
        QCOMPARE(control<QPushButton>("btnMov")->text(), QString("Load &Movie"));
        QCOMPARE(control<QPushButton>("btnTmr")->text(), QString("&Enable Auto Rotation"));
        QCOMPARE(control<QCheckBox>("chkImage")->text(), QString("Capture Live Stream"));
        QVERIFY(!control<QCheckBox>("chkImage")->isChecked());
        QCOMPARE(control<QComboBox>("cmbPort")->currentText(), QString("COM1"));
        QCOMPARE(control<QComboBox>("cmbPort")->count(), 4);
        QCOMPARE(window->focusWidget(), control<QPushButton>("btnMov"));
        QCOMPARE(window->imagePresent, false);
        QVERIFY(control<QTimer>("Timer1")->isActive());
        QVERIFY(!control<QTimer>("Timer2")->isActive());
        // "READY..." stands until the first refresh tick, then the readout takes over.
        QTRY_COMPARE(window->statusText(2), QString("X=0 Y=0 Z=-20"));
    }

    void slidersSetStateAndLabels_data()
    {
        QTest::addColumn<QString>("slider");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::newRow("point size") << "trbPoint"
                                    << "lblSize" << 1 << 10;
        QTest::newRow("height ratio") << "trbHeight"
                                      << "lblHeight" << 1 << 50;
        QTest::newRow("darkness") << "trbBright"
                                  << "lblBright" << 1 << 5;
    }
    void slidersSetStateAndLabels()
    {
        QFETCH(QString, slider);
        QFETCH(QString, label);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        auto *s = control<QSlider>(slider.toLatin1().constData());
        auto *l = control<QLabel>(label.toLatin1().constData());
        QCOMPARE(s->minimum(), minimum);
        QCOMPARE(s->maximum(), maximum);
        const int *field = slider == "trbPoint" ? &state.pointSize
            : slider == "trbHeight"             ? &state.heightRatio
                                                : &state.brightDivisor;
        s->setFocus();
        QTest::keyClick(s, Qt::Key_End);
        QCOMPARE(*field, maximum);
        QCOMPARE(l->text(), QString::number(maximum));
        QTest::keyClick(s, Qt::Key_Home);
        QCOMPARE(*field, minimum); // never 0: the divisors stay valid
        QCOMPARE(l->text(), QString::number(minimum));
    }

    void mouseSetsAbsoluteAngles_data()
    {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<float>("rotX");
        QTest::addColumn<float>("rotY");
        QTest::newRow("neutral point") << QPoint(256, 256) << 0.0f << 0.0f;
        QTest::newRow("top left") << QPoint(0, 0) << -256.0f << -256.0f;
        QTest::newRow("x and y apart") << QPoint(300, 100) << -156.0f << 44.0f;
    }
    void mouseSetsAbsoluteAngles()
    {
        QFETCH(QPoint, position);
        QFETCH(float, rotX);
        QFETCH(float, rotY);
        state.rotX = 77.0f; // whatever auto-rotation added is discarded
        // Sent to the panel itself: the pointer is shared by every test on the display, and
        // QTest reads a null point as the widget's centre.
        QWidget *view = window->view();
        QMouseEvent move(QEvent::MouseMove, position, view->mapToGlobal(position), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        QCOMPARE(state.rotX, rotX);
        QCOMPARE(state.rotY, rotY);
    }

    void mouseButtonsZoom()
    {
        auto *view = window->view();
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(256, 256));
        QCOMPARE(state.zoom, 10.0f);
        QTRY_COMPARE(window->statusText(2), QString("X=0 Y=0 Z=10"));
        QTest::mouseClick(view, Qt::RightButton, {}, QPoint(256, 256));
        QTest::mouseClick(view, Qt::MiddleButton, {}, QPoint(256, 256));
        QCOMPARE(state.zoom, 0.0f);
        // A double click reaches a widget as a press, then a double-click event for the
        // second press: both count.
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(256, 256));
        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(256, 256));
        QCOMPARE(state.zoom, 20.0f);
    }

    void autoRotationWraps_data()
    {
        QTest::addColumn<float>("start");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<float>("end");
        QTest::newRow("0 up to 359") << 0.0f << 359 << 359.0f;
        QTest::newRow("359 wraps to 0") << 0.0f << 360 << 0.0f;
        QTest::newRow("-5 passes 0 and wraps") << -5.0f << 365 << 0.0f;
        QTest::newRow("-5 one tick") << -5.0f << 1 << -4.0f;
        QTest::newRow("360 keeps growing") << 360.0f << 5 << 365.0f;
        QTest::newRow("above 360 never wraps") << 400.0f << 400 << 800.0f;
    }
    void autoRotationWraps()
    {
        QFETCH(float, start);
        QFETCH(int, ticks);
        QFETCH(float, end);
        state.rotX = start;
        state.rotY = start;
        for (int i = 0; i < ticks; ++i)
            window->Timer2Timer();
        QCOMPARE(state.rotX, end);
        QCOMPARE(state.rotY, end);
    }

    void autoRotationButtonRunsTimer2()
    {
        auto *button = control<QPushButton>("btnTmr");
        state.rotX = 358.0f;
        state.rotY = 100.0f;
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(state.autoRotate);
        QCOMPARE(button->text(), QString("&Disable Auto Rotation"));
        QVERIFY(control<QTimer>("Timer2")->isActive());
        QTRY_VERIFY(state.rotY >= 103.0f); // ticking
        QTRY_VERIFY(state.rotX < 10.0f); // passed 359 and wrapped
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!state.autoRotate);
        QCOMPARE(button->text(), QString("&Enable Auto Rotation"));
        QVERIFY(!control<QTimer>("Timer2")->isActive());
    }

    void handlerFailuresReachTheErrorDisplay()
    {
        HandlerGuard::run(prompts, [] { throw std::runtime_error("Division by zero"); });
        HandlerGuard::run(prompts, [] { throw 42; });
        QCOMPARE(prompts.errors, QStringList({"Division by zero.", ""}));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
