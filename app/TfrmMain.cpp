#include "app/TfrmMain.h"

#include "app/HandlerGuard.h"
#include "app/TextFormat.h"
#include "app/UiPrompts.h"
#include "app/ViewState.h"
#include "camera/SerialLink.h"
#include "frames/FrameFile.h"
#include "view/OpenGLAPPanel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int kRefreshMs = 33;
constexpr int kMoviePauseMs = 250;
constexpr qint64 kMinFramePaintIntervalMs
    = 15; // live frames are painted at most ~66 times a second
constexpr int kMovieMaxCatchUpMs = 20; // how much of a late step the next pause makes up
constexpr std::uint8_t kFrameTerminator = 0xFF;
constexpr char kCameraStart = 'a';
constexpr char kCameraStop = 'b';
constexpr float kZoomStep = 10.0f;
constexpr float kFullTurn = 360.0f;
constexpr int kNeutralMouse = 256; // the mouse position where both angles are 0
constexpr int kStatusPanelWidth = 150;
constexpr int kValueLabelRight = 280; // right edge of the slider value labels
constexpr int kValueLabelWidth = 40;

// Layout in client pixels at 96 dpi.
constexpr QRect kPanel1Rect(8, 3, 579, 579);
constexpr QRect kPanel2Rect(8, 585, 289, 165);
constexpr QRect kPanel3Rect(298, 585, 289, 165);
constexpr QRect kStatusRect(0, 756, 595, 19);

// The window's skin: dark slate panels, light bold captions.
constexpr QRgb kSkinWindow = qRgb(43, 54, 66);
constexpr QRgb kSkinPanel = qRgb(52, 65, 79);
constexpr QRgb kSkinButton = qRgb(64, 80, 97);
constexpr QRgb kSkinText = qRgb(205, 213, 222); // the slider labels' colour
constexpr QRgb kPortBackground = qRgb(237, 243, 249);

const QString kOpenCaption = QStringLiteral("&Open Port and Start Camera");
const QString kCloseCaption = QStringLiteral("&Stop Camera and Close Port");
const QString kPortClosed = QStringLiteral("Port Closed");
const QString kLineSettings = QStringLiteral(", 115200, 8, None,1");
const QString kMovieCaption = QStringLiteral("Load &Movie");
const QString kStopMovieCaption = QStringLiteral("Stop &Movie");
const QString kOpenedSuffix = QStringLiteral(" opened");
const QString kLoadDialogTitle = QStringLiteral("Select Image File");
const QString kAutoOnCaption = QStringLiteral("&Disable Auto Rotation");
const QString kAutoOffCaption = QStringLiteral("&Enable Auto Rotation");

QString appTitle()
{
    return QString::fromUtf8(TextFormat::kAppTitle.data(), qsizetype(TextFormat::kAppTitle.size()));
}

// File names go to the core as the bytes the file system uses.
std::string toFileName(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString fromFileName(const std::string &name)
{
    return QFile::decodeName(QByteArray::fromStdString(name));
}

// "path: reason" with the full path, for the error display. When the working directory is
// gone (deleted under the viewer), the name is shown as given: resolving it against a
// directory that no longer exists would name a wrong place.
QString fileFailure(const std::string &name, const std::string &reason)
{
    const QString file = fromFileName(name);
    const QString cwd = QDir::currentPath();
    const QString shown = cwd.isEmpty() ? file : QDir::cleanPath(QDir(cwd).absoluteFilePath(file));
    return QStringLiteral("%1: %2").arg(shown, QString::fromStdString(reason));
}

QFont boldFont(QFont font)
{
    font.setBold(true);
    return font;
}

} // namespace

TfrmMain::TfrmMain(ViewState &state, UiPrompts &prompts, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_prompts(prompts)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(appTitle());
    // Tahoma 8 pt; where it is missing, a condensed sans keeps the captions inside the
    // fixed control widths.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Nimbus Sans Narrow")});
    font.setPixelSize(11);
    setFont(font);

    QPalette skin = palette();
    skin.setColor(QPalette::Window, kSkinWindow);
    skin.setColor(QPalette::WindowText, kSkinText);
    skin.setColor(QPalette::Button, kSkinButton);
    skin.setColor(QPalette::ButtonText, Qt::white);
    skin.setColor(QPalette::Base, kPortBackground);
    skin.setColor(QPalette::Text, Qt::black);
    setPalette(skin);
    setAutoFillBackground(true);

    // The layout is fixed; maximising enlarges the view, and the window never gets smaller.
    resize(kClientWidth, kClientHeight);
    setMinimumSize(kClientWidth, kClientHeight);

    createControls();
    createStatusPanels();
    createCameraLink();

    m_framePaintTimer = new QTimer(this);
    m_framePaintTimer->setSingleShot(true);
    m_framePaintTimer->setTimerType(Qt::PreciseTimer);
    connect(m_framePaintTimer, &QTimer::timeout, this, &TfrmMain::paintLatestFrame);

    m_movieTimer = new QTimer(this);
    m_movieTimer->setObjectName(QStringLiteral("movieTimer"));
    m_movieTimer->setSingleShot(true);
    m_movieTimer->setTimerType(Qt::PreciseTimer);
    m_movieTimer->setInterval(kMoviePauseMs);
    connect(m_movieTimer, &QTimer::timeout, this, &TfrmMain::movieStep);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kRefreshMs);
    connect(Timer1, &QTimer::timeout, this, &TfrmMain::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kRefreshMs);
    connect(Timer2, &QTimer::timeout, this, &TfrmMain::Timer2Timer);
    Timer1->start();

    btnMov->setFocus();
}

TfrmMain::~TfrmMain()
{
    // The link goes first, while the assembler and the window it feeds still exist; it
    // closes an open port without telling the camera to stop.
    delete VaComm1;
    VaComm1 = nullptr;
}

template<typename Handler> void TfrmMain::guarded(Handler &&handler)
{
    HandlerGuard::run(m_prompts, std::forward<Handler>(handler));
}

void TfrmMain::createControls()
{
    auto makePanel = [this](const char *name, const QRect &rect) {
        auto *panel = new QFrame(this);
        panel->setObjectName(QLatin1String(name));
        panel->setGeometry(rect);
        panel->setAutoFillBackground(true);
        QPalette p = panel->palette();
        p.setColor(QPalette::Window, kSkinPanel);
        panel->setPalette(p);
        return panel;
    };

    sPanel1 = makePanel("sPanel1", kPanel1Rect);
    sPanel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sPanel1->setLineWidth(1);
    OpenGLAPPanel1 = new OpenGLAPPanel(sPanel1);
    OpenGLAPPanel1->setObjectName(QStringLiteral("OpenGLAPPanel1"));
    OpenGLAPPanel1->setGeometry(1, 1, kPanel1Rect.width() - 2, kPanel1Rect.height() - 2);
    // Kept as a description only: the view shows no tooltip.
    OpenGLAPPanel1->setAccessibleDescription(
        QStringLiteral("Move mouse for X / Y rotation, and use LMB & RMB for Size + / -"));
    connect(OpenGLAPPanel1, &OpenGLAPPanel::glInit, this, &TfrmMain::OpenGLAPPanel1Init);
    connect(OpenGLAPPanel1, &OpenGLAPPanel::glResize, this, &TfrmMain::OpenGLAPPanel1Resize);
    connect(OpenGLAPPanel1, &OpenGLAPPanel::glPaint, this, &TfrmMain::OpenGLAPPanel1Paint);
    connect(OpenGLAPPanel1, &OpenGLAPPanel::mouseMovedTo, this, &TfrmMain::OpenGLAPPanel1MouseMove);
    connect(OpenGLAPPanel1, &OpenGLAPPanel::mousePressed, this, &TfrmMain::OpenGLAPPanel1MouseDown);

    sPanel2 = makePanel("sPanel2", kPanel2Rect);
    sPanel3 = makePanel("sPanel3", kPanel3Rect);

    // Camera and file controls.
    cmbPort = new QComboBox(sPanel2);
    cmbPort->setObjectName(QStringLiteral("cmbPort"));
    cmbPort->setGeometry(8, 20, 57, 21);
    cmbPort->addItems({QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                       QStringLiteral("COM4")});
    cmbPort->setCurrentIndex(0);
    cmbPort->setMaxVisibleItems(4);
    cmbPort->setEditable(false);
    {
        QPalette p = cmbPort->palette();
        p.setColor(QPalette::Button, kPortBackground);
        p.setColor(QPalette::Base, kPortBackground);
        p.setColor(QPalette::ButtonText, Qt::black);
        cmbPort->setPalette(p);
    }

    auto makeButton = [this](QWidget *parent, const char *name, const QString &caption,
                             const QRect &rect, const QString &hint) {
        auto *button = new QPushButton(caption, parent);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(rect);
        button->setFont(boldFont(font()));
        button->setToolTip(hint);
        return button;
    };
    btnStart = makeButton(sPanel2, "btnStart", kOpenCaption, QRect(71, 16, 203, 25), QString());
    btnCapt = makeButton(sPanel2, "btnCapt", QStringLiteral("&Capture Frozen Image"),
                         QRect(8, 47, 266, 25),
                         QStringLiteral("To save the last image after the camera is stopped"));
    btnLoad = makeButton(sPanel2, "btnLoad", QStringLiteral("&Load Image "), QRect(8, 78, 130, 25),
                         QStringLiteral("Load saved image file"));
    btnMov = makeButton(sPanel2, "btnMov", QStringLiteral("Load &Movie"), QRect(144, 78, 130, 25),
                        QStringLiteral("Load the last frame in the live image series"));
    connect(btnStart, &QPushButton::clicked, this, &TfrmMain::btnStartClick);
    connect(btnCapt, &QPushButton::clicked, this, &TfrmMain::btnCaptClick);
    connect(btnLoad, &QPushButton::clicked, this, &TfrmMain::btnLoadClick);
    connect(btnMov, &QPushButton::clicked, this, &TfrmMain::btnMovClick);
    btnTmr = makeButton(sPanel2, "btnTmr", kAutoOffCaption, QRect(8, 108, 266, 25), QString());
    connect(btnTmr, &QPushButton::clicked, this, &TfrmMain::btnTmrClick);

    chkImage = new QCheckBox(QStringLiteral("Capture Live Stream"), sPanel2);
    chkImage->setObjectName(QStringLiteral("chkImage"));
    chkImage->setGeometry(8, 139, 141, 19);
    chkImage->setFont(boldFont(font()));
    chkImage->setToolTip(QStringLiteral("Check this to save live data"));

    // View sliders with their captions and value labels.
    auto makeLabel = [this](const char *name, const QString &text) {
        auto *label = new QLabel(text, sPanel3);
        label->setObjectName(QLatin1String(name));
        label->setFont(boldFont(font()));
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, kSkinText);
        label->setPalette(p);
        return label;
    };
    auto placeCaption = [](QLabel *label, int left, int top) {
        label->adjustSize();
        label->move(left, top);
    };
    auto placeValue = [](QLabel *label, int right, int top) {
        label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        label->setGeometry(right - kValueLabelWidth, top, kValueLabelWidth,
                           label->sizeHint().height());
    };
    auto makeSlider = [this](const char *name, const QRect &rect, int minimum, int maximum,
                             int position, const QString &hint) {
        auto *slider = new QSlider(Qt::Horizontal, sPanel3);
        slider->setObjectName(QLatin1String(name));
        slider->setGeometry(rect);
        slider->setRange(minimum, maximum);
        slider->setValue(position);
        slider->setPageStep(1);
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(1);
        slider->setToolTip(hint);
        return slider;
    };

    sLabel1 = makeLabel("sLabel1", QStringLiteral("Point Size"));
    placeCaption(sLabel1, 24, 25);
    trbPoint = makeSlider("trbPoint", QRect(85, 16, 182, 37), 1, 10, 1, QString());
    lblSize = makeLabel("lblSize", QStringLiteral("1"));
    placeValue(lblSize, kValueLabelRight, 25);

    sLabel2 = makeLabel("sLabel2", QStringLiteral("Height Ratio"));
    placeCaption(sLabel2, 9, 75);
    trbHeight = makeSlider("trbHeight", QRect(85, 63, 182, 37), 1, 50, 50,
                           QStringLiteral("Brightness to height conversion ratio"));
    trbHeight->setTickInterval(5);
    lblHeight = makeLabel("lblHeight", QStringLiteral("50"));
    placeValue(lblHeight, kValueLabelRight, 76);

    sLabel3 = makeLabel("sLabel3", QStringLiteral("Darkess"));
    placeCaption(sLabel3, 33, 123);
    trbBright = makeSlider("trbBright", QRect(85, 119, 182, 34), 1, 5, 1,
                           QStringLiteral("Increase this to manage images that are too bright"));
    lblBright = makeLabel("lblBright", QStringLiteral("1"));
    placeValue(lblBright, kValueLabelRight, 131);

    // Connected after the initial positions are set: no slider handler runs at start.
    connect(trbPoint, &QSlider::valueChanged, this, &TfrmMain::trbPointChange);
    connect(trbHeight, &QSlider::valueChanged, this, &TfrmMain::trbHeightChange);
    connect(trbBright, &QSlider::valueChanged, this, &TfrmMain::trbBrightChange);

    // Tab order: the sliders' panel first, then the camera and file controls.
    QWidget *order[] = {trbPoint, trbHeight, trbBright, cmbPort, btnStart,
                        btnCapt,  btnLoad,   btnMov,    btnTmr,  chkImage};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void TfrmMain::createStatusPanels()
{
    sStatusBar1 = new QStatusBar(this);
    sStatusBar1->setObjectName(QStringLiteral("sStatusBar1"));
    sStatusBar1->setSizeGripEnabled(false);
    sStatusBar1->setGeometry(kStatusRect);
    sStatusBar1->setFont(QFont());
    const QString initial[kStatusPanels] = {
        QStringLiteral("Kelvra Imaging 2026"),
        QStringLiteral("Port Closed"),
        QStringLiteral("READY..."),
        QStringLiteral("No frames loaded"),
    };
    for (int i = 0; i < kStatusPanels; ++i) {
        auto *panel = new QLabel(initial[i], sStatusBar1);
        panel->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        panel->setAlignment(Qt::AlignCenter);
        panel->setFixedWidth(kStatusPanelWidth);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        sStatusBar1->addWidget(panel);
        m_statusPanels[std::size_t(i)] = panel;
    }
}

void TfrmMain::createCameraLink()
{
    VaCapture1.setReceiver([this](const std::string &message) { VaCapture1Message(message); });
    VaCapture1.setErrorSink(
        [this](const std::string &what) { HandlerGuard::report(m_prompts, what); });
    VaComm1 = new SerialLink(VaCapture1, this);
    VaComm1->setObjectName(QStringLiteral("VaComm1"));
    connect(VaComm1, &SerialLink::deviceLost, this, &TfrmMain::onDeviceLost);
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    // Closing ends a playing movie with the window; the link closes the port without
    // telling the camera to stop.
    stopMovie();
    Timer2->stop();
    event->accept();
}

void TfrmMain::showEvent(QShowEvent *event)
{
    // The window opens centred on its screen.
    if (!m_placed && screen()) {
        m_placed = true;
        QRect frame = frameGeometry();
        frame.moveCenter(screen()->availableGeometry().center());
        move(frame.topLeft());
    }
    QWidget::showEvent(event);
}

void TfrmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Anchors: the view follows all four edges, the control panels keep to the bottom and
    // the right-hand panel stretches with the width.
    const int dx = width() - kClientWidth;
    const int dy = height() - kClientHeight;
    sPanel1->setGeometry(kPanel1Rect.adjusted(0, 0, dx, dy));
    OpenGLAPPanel1->setGeometry(1, 1, sPanel1->width() - 2, sPanel1->height() - 2);
    sPanel2->move(kPanel2Rect.topLeft() + QPoint(0, dy));
    sPanel3->setGeometry(kPanel3Rect.translated(0, dy).adjusted(0, 0, dx, 0));
    for (QLabel *value : {lblSize, lblHeight, lblBright})
        value->move(sPanel3->width() - (kPanel3Rect.width() - kValueLabelRight) - kValueLabelWidth,
                    value->y());
    sStatusBar1->setGeometry(kStatusRect.translated(0, dy).adjusted(0, 0, dx, 0));
}

QString TfrmMain::statusText(int panel) const
{
    return m_statusPanels.at(std::size_t(panel))->text();
}

void TfrmMain::setStatus(int panel, const QString &text)
{
    m_statusPanels.at(std::size_t(panel))->setText(text);
}

void TfrmMain::showReadout()
{
    // Formatting is skipped when the three values are the ones already shown.
    const std::array<float, 3> values {m_state.rotX, m_state.rotY, m_state.zoom};
    if (m_readoutShown && values == m_readoutValues)
        return;
    m_readoutShown = true;
    m_readoutValues = values;
    setStatus(2, QString::fromStdString(TextFormat::readout(values[0], values[1], values[2])));
}

void TfrmMain::setCaption(const QString &text)
{
    setWindowTitle(text);
}

void TfrmMain::replaceFrameBuffers()
{
    // A buffer that nothing else holds is cleared and used again: nobody can tell it from a
    // new one, and a flood of tiny frames then costs no allocations. A buffer still held
    // elsewhere (a load waiting on its dialog) is left to its holder.
    for (auto [buffer, used] : {std::pair {&frameBuffer, &m_frameBufferUsed},
                                std::pair {&displayBuffer, &m_displayBufferUsed}}) {
        if (*buffer && buffer->use_count() == 1 && used->buffer == buffer->get())
            std::fill_n((*buffer)->begin(), used->bytes, std::uint8_t(0));
        else
            *buffer = makeFrameBuffer();
        // Until told otherwise (a live frame), whoever takes the buffer may fill all of it.
        *used = {buffer->get(), kFrameBufferBytes};
    }
    frameChanged();
}

void TfrmMain::repaintForFrame()
{
    // A frame is painted as soon as the batch it came in has been handled. Frames that come
    // faster than the screen could show them are painted at most every
    // kMinFramePaintIntervalMs, the latest one each time: the pictures in between would
    // never reach the screen, and a flood of tiny frames must not stall the window.
    if (m_framePaintTimer->isActive())
        return;
    const qint64 sinceLast
        = m_lastFramePaint.isValid() ? m_lastFramePaint.elapsed() : kMinFramePaintIntervalMs;
    m_framePaintTimer->start(int(std::max<qint64>(0, kMinFramePaintIntervalMs - sinceLast)));
}

void TfrmMain::paintLatestFrame()
{
    m_lastFramePaint.start();
    OpenGLAPPanel1->repaintNow();
}

TfrmMain::PictureKey TfrmMain::pictureKey() const
{
    PictureKey key;
    key.rotX = m_state.rotX;
    key.rotY = m_state.rotY;
    key.zoom = m_state.zoom;
    key.axisLength = m_state.axisLength;
    key.pointSize = m_state.pointSize;
    key.heightRatio = m_state.heightRatio;
    key.brightDivisor = m_state.brightDivisor;
    key.imagePresent = imagePresent;
    key.buffer = displayBuffer.get();
    key.frameSerial = m_frameSerial;
    key.width = OpenGLAPPanel1->width();
    key.height = OpenGLAPPanel1->height();
    return key;
}

// ---- Relief view -------------------------------------------------------------------------

void TfrmMain::OpenGLAPPanel1Init()
{
    guarded([&] { m_renderer.init(); });
}

void TfrmMain::OpenGLAPPanel1Resize(int width, int height)
{
    guarded([&] {
        if (height == 0) {
            OpenGLAPPanel1->resize(OpenGLAPPanel1->width(), 1);
            height = 1;
        }
        m_renderer.resize(width, height);
    });
}

void TfrmMain::OpenGLAPPanel1Paint()
{
    guarded([&] {
        m_renderer.paint(m_state, displayBuffer ? displayBuffer->data() : nullptr,
                         imagePresent && displayBuffer, m_frameSerial);
        m_paintedKey = pictureKey();
    });
}

// ---- View controls ----------------------------------------------------------------------

void TfrmMain::OpenGLAPPanel1MouseMove(int x, int y)
{
    guarded([&] {
        m_state.rotX = float(y - kNeutralMouse);
        m_state.rotY = float(x - kNeutralMouse);
    });
}

void TfrmMain::OpenGLAPPanel1MouseDown(Qt::MouseButton button)
{
    guarded([&] {
        if (button == Qt::LeftButton)
            m_state.zoom += kZoomStep;
        else if (button == Qt::RightButton)
            m_state.zoom -= kZoomStep;
    });
}

void TfrmMain::applySlider(const QSlider *slider, QLabel *label, std::int32_t &field)
{
    guarded([&] {
        field = slider->value();
        label->setText(QString::number(slider->value()));
    });
}

void TfrmMain::trbPointChange()
{
    applySlider(trbPoint, lblSize, m_state.pointSize);
}

void TfrmMain::trbHeightChange()
{
    applySlider(trbHeight, lblHeight, m_state.heightRatio);
}

void TfrmMain::trbBrightChange()
{
    applySlider(trbBright, lblBright, m_state.brightDivisor);
}

void TfrmMain::btnTmrClick()
{
    guarded([&] {
        m_state.autoRotate = !m_state.autoRotate;
        Timer2->setInterval(kRefreshMs);
        if (m_state.autoRotate)
            Timer2->start();
        else
            Timer2->stop();
        btnTmr->setText(m_state.autoRotate ? kAutoOnCaption : kAutoOffCaption);
    });
}

void TfrmMain::Timer1Timer()
{
    guarded([&] {
        // An unchanged picture is not drawn again: the screen already shows it.
        if (pictureKey() != m_paintedKey)
            OpenGLAPPanel1->repaintNow();
        showReadout();
    });
}

void TfrmMain::Timer2Timer()
{
    guarded([&] {
        for (float *angle : {&m_state.rotX, &m_state.rotY}) {
            *angle += 1.0f;
            if (*angle == kFullTurn) // only exactly 360 wraps; larger angles keep growing
                *angle = 0.0f;
        }
        OpenGLAPPanel1->repaintNow();
        showReadout();
    });
}

// ---- Camera link -------------------------------------------------------------------------

void TfrmMain::btnStartClick()
{
    guarded([&] {
        m_state.portOpen = !m_state.portOpen;
        if (m_state.portOpen) {
            const QString port = cmbPort->currentText();
            VaComm1->setPortName(port);
            VaComm1->open(); // a failure ends the handler here; the next click closes
            VaCapture1.setTerminator(kFrameTerminator);
            setStatus(1, port + kLineSettings);
            btnStart->setText(kCloseCaption);
            VaComm1->writeByte(kCameraStart);
        } else {
            VaComm1->writeByte(kCameraStop);
            VaComm1->close();
            showClosedPort();
        }
    });
}

void TfrmMain::showClosedPort()
{
    setStatus(1, kPortClosed);
    btnStart->setText(kOpenCaption);
}

void TfrmMain::onDeviceLost(const QString &reason)
{
    // The link has already released the device; the window follows it.
    guarded([&] {
        m_state.portOpen = false;
        showClosedPort();
    });
    QMetaObject::invokeMethod(
        this, [this, reason] { HandlerGuard::report(m_prompts, reason.toStdString()); },
        Qt::QueuedConnection);
}

void TfrmMain::VaCapture1Message(const std::string &message)
{
    replaceFrameBuffers();
    frameText = message;
    frameData = reinterpret_cast<const std::uint8_t *>(frameText.c_str());

    if (chkImage->isChecked()) {
        setStatus(3, QStringLiteral("Frame: %1").arg(m_state.liveFrameCount));
        m_state.liveFileName = liveFileName(m_state.liveFrameCount);
        const FrameWriteResult written = writeFrameFile(m_state.liveFileName, frameData);
        if (written.error == 0) {
            ++m_state.liveFrameCount;
        } else {
            // Recording stops, so the user is told once rather than once per frame; the
            // message waits for the frame to be shown, and frames keep coming meanwhile.
            chkImage->setChecked(false);
            const QString text = QStringLiteral("Can't record the live stream to %1; "
                                                "Capture Live Stream was turned off")
                                     .arg(fileFailure(m_state.liveFileName, written.reason));
            QMetaObject::invokeMethod(
                this, [this, text] { HandlerGuard::report(m_prompts, text.toStdString()); },
                Qt::QueuedConnection);
        }
    }

    // The frame and the zero byte that ends it (the buffer is all zeros past the frame);
    // never more than the buffer holds.
    const std::size_t n = std::min(frameText.size(), kFrameBufferBytes);
    std::copy_n(frameText.data(), n, displayBuffer->begin());
    m_displayBufferUsed = {displayBuffer.get(), n};
    m_frameBufferUsed = {frameBuffer.get(), 0}; // a live frame lives in frameText
    imagePresent = true;
    frameChanged();
    repaintForFrame();
    showReadout();
}

// ---- Frame files -------------------------------------------------------------------------

void TfrmMain::btnCaptClick()
{
    guarded([&] {
        m_state.frozenFileName = frozenFileName(m_state.frozenFrameCount);
        const FrameWriteResult written = writeFrameFile(m_state.frozenFileName, frameData);
        const std::string name = m_state.frozenFileName;
        ++m_state.frozenFrameCount; // advances whether or not the save worked
        if (written.saved())
            m_prompts.showNotice(QStringLiteral("Image saved successfully!"));
        else if (written.error != 0)
            throw std::runtime_error(QStringLiteral("Can't save %1")
                                         .arg(fileFailure(name, written.reason))
                                         .toStdString());
    });
}

void TfrmMain::btnLoadClick()
{
    guarded([&] {
        replaceFrameBuffers();
        // The read goes into this buffer even if a live frame replaces the window's buffers
        // while the dialog is open.
        const FrameBufferPtr buffer = frameBuffer;
        frameData = buffer->data();

        const std::optional<QString> path = m_prompts.openFile(
            kLoadDialogTitle, QDir::currentPath(),
            {QStringLiteral("Text Files (*.txt)"), QStringLiteral("Kelvra Data Files (*.kvr)"),
             QStringLiteral("All Files (*)")},
            1);
        if (!path) {
            setCaption(appTitle());
            imagePresent = false;
            return;
        }
        m_state.loadedFileName = toFileName(*path);
        const FrameReadResult read = readFrameFile(m_state.loadedFileName, buffer->data());
        if (!read.ok()) {
            setCaption(appTitle());
            imagePresent = false;
            throw std::runtime_error(QStringLiteral("Can't load %1")
                                         .arg(fileFailure(m_state.loadedFileName, read.reason))
                                         .toStdString());
        }
        *displayBuffer = *buffer;
        frameChanged();
        setCaption(appTitle() + QStringLiteral("   ") + *path + kOpenedSuffix);
        imagePresent = true;
        Timer1->start();
    });
}

void TfrmMain::btnMovClick()
{
    guarded([&] {
        m_state.moviePlaying = !m_state.moviePlaying;
        if (!m_state.moviePlaying) {
            btnMov->setText(kMovieCaption);
            m_movieTimer->stop();
            return;
        }
        replaceFrameBuffers();
        m_movieBuffer = frameBuffer;
        frameData = m_movieBuffer->data();

        const std::optional<QString> path
            = m_prompts.openFile(kLoadDialogTitle, QDir::currentPath(),
                                 {QStringLiteral("Kelvra Data Files (*.kvr)")}, -1);
        if (!path) {
            setCaption(appTitle());
            imagePresent = false;
            return; // stays "playing": the next click only resets the toggle
        }
        const std::optional<MovieSeries> series = parseMovieSeries(toFileName(*path));
        if (!series) {
            m_prompts.showNotice(QStringLiteral("Only live_xx.kvr format is allowed"));
            return;
        }
        m_movie = *series;
        m_movieFrame = 0;
        m_movieClock.start();
        m_movieNextStepMs = 0;
        btnMov->setText(kStopMovieCaption);
        imagePresent = true;
        movieStep();
    });
}

void TfrmMain::movieStep()
{
    guarded([&] {
        if (!m_state.moviePlaying)
            return;
        const std::string name = m_movie.frameName(m_movieFrame);
        setStatus(3, QStringLiteral("Frame: %1").arg(m_movieFrame));
        frameBuffer = m_movieBuffer;
        frameData = m_movieBuffer->data();
        const FrameReadResult read = readFrameFile(name, m_movieBuffer->data());
        if (!read.ok()) {
            stopMovie();
            throw std::runtime_error(QStringLiteral("Can't play %1; the movie stopped")
                                         .arg(fileFailure(name, read.reason))
                                         .toStdString());
        }
        *displayBuffer = *m_movieBuffer;
        frameChanged();
        setCaption(appTitle() + QStringLiteral("   ") + fromFileName(name) + kOpenedSuffix);
        m_movieFrame = m_movie.next(m_movieFrame);
        // The refresh timer shows the frame; the next one follows after the pause, counted
        // from when this step was due so that a late timer does not slow the movie down.
        m_movieNextStepMs += kMoviePauseMs;
        qint64 wait = m_movieNextStepMs - m_movieClock.elapsed();
        if (wait < kMoviePauseMs - kMovieMaxCatchUpMs) {
            // Far behind (a modal box held the window): no burst of steps, start afresh.
            wait = kMoviePauseMs;
            m_movieNextStepMs = m_movieClock.elapsed() + wait;
        }
        m_movieTimer->start(int(wait));
    });
}

void TfrmMain::stopMovie()
{
    m_movieTimer->stop();
    if (m_state.moviePlaying) {
        m_state.moviePlaying = false;
        btnMov->setText(kMovieCaption);
    }
}
