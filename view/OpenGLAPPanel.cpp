#include "view/OpenGLAPPanel.h"

#include <QMouseEvent>
#include <QResizeEvent>
#include <QSurfaceFormat>

OpenGLAPPanel::OpenGLAPPanel(QWidget *parent)
    : QOpenGLWidget(parent)
{
    // Double-buffered RGBA with a depth buffer; 24 depth bits is what Mesa offers, and with
    // every fragment at depth 1.0 the precision does not matter.
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    setFormat(format);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

void OpenGLAPPanel::repaintNow()
{
    repaint();
}

void OpenGLAPPanel::initializeGL()
{
    emit glInit();
}

void OpenGLAPPanel::resizeGL(int width, int height)
{
    const qreal ratio = devicePixelRatioF();
    emit glResize(qRound(width * ratio), qRound(height * ratio));
}

void OpenGLAPPanel::paintGL()
{
    emit glPaint();
}

void OpenGLAPPanel::resizeEvent(QResizeEvent *event)
{
    // A panel squeezed to no height gets one pixel, so the view keeps a valid aspect ratio.
    if (event->size().height() == 0) {
        resize(event->size().width(), 1);
        return;
    }
    QOpenGLWidget::resizeEvent(event);
}

void OpenGLAPPanel::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    emit mouseMovedTo(p.x(), p.y());
}

void OpenGLAPPanel::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event->button());
}

void OpenGLAPPanel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click is a press too.
    emit mousePressed(event->button());
}
