#pragma once

#include <QOpenGLWidget>

// The view panel: a QOpenGLWidget that hands its GL and mouse events to the window's
// handlers. The GL context is current while glInit, glResize and glPaint are emitted;
// Qt shows the picture once glPaint returns.
class OpenGLAPPanel : public QOpenGLWidget
{
    Q_OBJECT

public:
    explicit OpenGLAPPanel(QWidget *parent = nullptr);

    // Paints into the panel's framebuffer now, before returning, and has Qt put it on the
    // screen at its next pass (Qt's own repaint would only paint at that pass).
    void repaintNow();

signals:
    void glInit();
    void glResize(int width, int height);
    void glPaint();
    void mouseMovedTo(int x, int y);
    void mousePressed(Qt::MouseButton button);

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool m_paintedAhead = false; // the framebuffer already holds the picture Qt will compose
};
