#pragma once

#include "app/TfrmMain.h"
#include "app/ViewState.h"
#include "camera/SerialLink.h"
#include "tests/support/ModalPrompts.h"
#include "tests/support/PtyPeer.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

// The fixture of the reliability tests: the main window, shown, with a real pseudo-terminal
// linked as COM1 and a test peer as the camera, working in a fresh folder of its own. Every
// frame the window receives is counted and checked against the message rules (1 to 16384
// bytes, no zero byte) on its way in.
class LiveWindow
{
public:
    static constexpr int kCameraPixels = 128 * 123;
    static constexpr char kTerminator = char(0xFF);

    ViewState state;
    ModalPrompts prompts;
    std::unique_ptr<TfrmMain> window;
    std::unique_ptr<PtyPeer> camera;
    std::unique_ptr<QTemporaryDir> work; // the working directory while open
    quint64 delivered = 0; // frames handed to the window
    quint64 malformed = 0; // of those, frames that broke the message rules
    // Runs for every frame just before the window receives it, while it still holds the last.
    std::function<void(const std::string &message)> beforeEachFrame;

    // Once per test case: port links go to a folder of our own.
    void enter()
    {
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        m_previousDir = QDir::currentPath();
    }
    void leave() { QDir::setCurrent(m_previousDir); }

    // Per test: a new camera, working folder and window.
    void open()
    {
        work = std::make_unique<QTemporaryDir>();
        QVERIFY(work->isValid());
        QVERIFY(QDir::setCurrent(work->path()));
        replaceCamera();
        state = ViewState();
        prompts = ModalPrompts();
        delivered = malformed = 0;
        beforeEachFrame = nullptr;
        window = std::make_unique<TfrmMain>(state, prompts);
        window->frameAssembler().setReceiver([this](const std::string &message) {
            ++delivered;
            if (message.empty() || message.size() > 16384
                || std::memchr(message.data(), 0, message.size()))
                ++malformed;
            if (beforeEachFrame)
                beforeEachFrame(message);
            window->VaCapture1Message(message);
        });
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void close()
    {
        window.reset();
        camera.reset();
        QDir::setCurrent(m_previousDir);
        work.reset();
    }

    // A new peer linked as COM1; the old one, if any, is hung up.
    void replaceCamera()
    {
        camera = std::make_unique<PtyPeer>();
        QVERIFY(camera->isValid());
        QVERIFY(camera->linkAs(portFolder(), QStringLiteral("COM1")));
    }

    QString configPath() const { return m_config.path(); } // the XDG_CONFIG_HOME in use
    QString portFolder() const { return m_config.filePath(QStringLiteral("kelvra23/ports")); }
    QString workPath(const QString &name) const { return work->filePath(name); }
    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(name); }
    QCheckBox *recordBox() const { return window->findChild<QCheckBox *>("chkImage"); }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Opens the port and waits until the camera has been told to start.
    void startCamera()
    {
        camera->clearReceived();
        click("btnStart");
        QVERIFY2(state.portOpen && window->serialLink().isOpen(),
                 qPrintable(prompts.errors.join('\n')));
        QTRY_COMPARE(camera->received(), QByteArray("a"));
    }

    // Everything the user sees of a closed port, and the link really released.
    bool showsClosedPort() const
    {
        return window->statusText(1) == QLatin1String("Port Closed")
            && button("btnStart")->text() == QLatin1String("&Open Port and Start Camera")
            && !state.portOpen && !window->serialLink().isOpen();
    }

    // A camera frame of 15744 pixels in 1..254, different for every seed, with a line feed
    // and a carriage return in it (they change on disk).
    static QByteArray cameraFrame(int seed)
    {
        QByteArray pixels(kCameraPixels, '\0');
        for (int i = 0; i < pixels.size(); ++i)
            pixels[i] = char(1 + (i * 7 + seed * 31) % 254);
        pixels[5 + seed % 64] = '\n';
        pixels[100] = '\r';
        return pixels;
    }

    // What a recorded frame's file holds: each line feed stored as CR LF.
    static QByteArray recorded(QByteArray frame) { return frame.replace("\n", "\r\n"); }

    static QByteArray fileBytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

private:
    QTemporaryDir m_config;
    QString m_previousDir;
};
