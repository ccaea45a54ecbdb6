#include "view/OpenGLAPPanel.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
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
    // The framebuffer keeps its content between paints, so a picture painted ahead of
    // Qt's pass can be shown as it is.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

void OpenGLAPPanel::repaintNow()
{
    if (!isValid() || !isVisible()) {
        update(); // no GL context yet: Qt paints once it has one
        return;
    }
    makeCurrent(); // binds the panel's framebuffer
    emit glPaint();
    context()->functions()->glFlush();
    m_paintedAhead = true;
    update();
}

void OpenGLAPPanel::initializeGL()
{
    emit glInit();
}

void OpenGLAPPanel::resizeGL(int width, int height)
{
    m_paintedAhead = false; // a new framebuffer: whatever was painted ahead is gone
    const qreal ratio = devicePixelRatioF();
    emit glResize(qRound(width * ratio), qRound(height * ratio));
}

void OpenGLAPPanel::paintGL()
{
    if (m_paintedAhead) {
        m_paintedAhead = false;
        return;
    }
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
