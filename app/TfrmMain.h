#pragma once

#include "app/FrameBuffer.h"
#include "camera/FrameAssembler.h"
#include "frames/MovieSeries.h"
#include "view/ReliefRenderer.h"

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

class OpenGLAPPanel;
class QCheckBox;
class QComboBox;
class SerialLink;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QStatusBar;
class QTimer;
class UiPrompts;
struct ViewState;

// The main window. It owns the current frame and the controls; every control event has one
// handler here, named after the control and the event. Handlers run on the UI thread, read
// and write the shared ViewState, and hand the real work to the core library. Each runs
// inside HandlerGuard, so a failure reaches the user through the standard error display.
class TfrmMain : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 595;
    static constexpr int kClientHeight = 775;
    static constexpr int kStatusPanels = 4;

    TfrmMain(ViewState &state, UiPrompts &prompts, QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The current frame. frameText is the last live frame; frameData points at the bytes of
    // the current frame (frameText's characters, or frameBuffer after a load or movie step),
    // null until the first frame, load or movie start. displayBuffer is what the view draws.
    std::string frameText;
    const std::uint8_t *frameData = nullptr;
    FrameBufferPtr frameBuffer;
    FrameBufferPtr displayBuffer;
    bool imagePresent = false;

    // Tells the view that displayBuffer's content changed, so the next refresh draws it.
    void frameChanged() { ++m_frameSerial; }

    QString statusText(int panel) const;
    OpenGLAPPanel *view() const { return OpenGLAPPanel1; }
    ReliefRenderer &renderer() { return m_renderer; }

    FrameAssembler &frameAssembler() { return VaCapture1; }
    SerialLink &serialLink() { return *VaComm1; }

    // Handlers, one per control event.
    void btnStartClick();
    void VaCapture1Message(const std::string &message);
    void btnCaptClick();
    void btnLoadClick();
    void btnMovClick();
    void btnTmrClick();
    void trbPointChange();
    void trbHeightChange();
    void trbBrightChange();
    void Timer1Timer();
    void Timer2Timer();
    void OpenGLAPPanel1Init();
    void OpenGLAPPanel1Resize(int width, int height);
    void OpenGLAPPanel1Paint();
    void OpenGLAPPanel1MouseMove(int x, int y);
    void OpenGLAPPanel1MouseDown(Qt::MouseButton button);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // What the picture depends on; a refresh with an unchanged key would draw the same.
    struct PictureKey
    {
        float rotX = 0, rotY = 0, zoom = 0, axisLength = 0;
        int pointSize = 0, heightRatio = 0, brightDivisor = 0;
        bool imagePresent = false;
        const void *buffer = nullptr;
        std::uint64_t frameSerial = 0;
        int width = 0, height = 0;
        bool operator==(const PictureKey &) const = default;
    };

    void createControls();
    void createCameraLink();
    void onDeviceLost(const QString &reason);
    void showClosedPort();
    void replaceFrameBuffers();
    void repaintForFrame();
    void paintLatestFrame();
    void movieStep();
    void stopMovie();
    void setCaption(const QString &text);
    void createStatusPanels();
    void setStatus(int panel, const QString &text);
    // A slider's handler: the shared field and the value label follow its position.
    void applySlider(const QSlider *slider, QLabel *label, std::int32_t &field);
    void showReadout();
    PictureKey pictureKey() const;
    template<typename Handler> void guarded(Handler &&handler);

    ViewState &m_state;
    UiPrompts &m_prompts;
    ReliefRenderer m_renderer;
    std::uint64_t m_frameSerial = 0;
    PictureKey m_paintedKey;
    bool m_placed = false;
    QTimer *m_framePaintTimer = nullptr;
    QElapsedTimer m_lastFramePaint;
    bool m_readoutShown = false;
    std::array<float, 3> m_readoutValues {};

    // How much of a buffer a live frame wrote, so that reusing it clears only that much.
    // Any other buffer (a new one, or one a load or a test filled) is cleared whole.
    struct BufferUse
    {
        const FrameBuffer *buffer = nullptr;
        std::size_t bytes = kFrameBufferBytes;
    };
    BufferUse m_frameBufferUsed;
    BufferUse m_displayBufferUsed;

    QFrame *sPanel1 = nullptr;
    OpenGLAPPanel *OpenGLAPPanel1 = nullptr;
    QFrame *sPanel2 = nullptr;
    QFrame *sPanel3 = nullptr;
    QStatusBar *sStatusBar1 = nullptr;
    std::array<QLabel *, kStatusPanels> m_statusPanels {};

    QComboBox *cmbPort = nullptr;
    QPushButton *btnStart = nullptr;
    QPushButton *btnCapt = nullptr;
    QPushButton *btnLoad = nullptr;
    QPushButton *btnMov = nullptr;
    QPushButton *btnTmr = nullptr;
    QCheckBox *chkImage = nullptr;

    QLabel *sLabel1 = nullptr;
    QLabel *sLabel2 = nullptr;
    QLabel *sLabel3 = nullptr;
    QSlider *trbPoint = nullptr;
    QSlider *trbHeight = nullptr;
    QSlider *trbBright = nullptr;
    QLabel *lblSize = nullptr;
    QLabel *lblHeight = nullptr;
    QLabel *lblBright = nullptr;

    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;

    FrameAssembler VaCapture1;
    SerialLink *VaComm1 = nullptr;

    // Movie playback runs on a timer: one step per tick, 250 ms after the last step ended.
    QTimer *m_movieTimer = nullptr;
    MovieSeries m_movie;
    std::int32_t m_movieFrame = 0;
    FrameBufferPtr m_movieBuffer;
    QElapsedTimer m_movieClock;
    qint64 m_movieNextStepMs = 0; // when the next step is due, on m_movieClock
};
