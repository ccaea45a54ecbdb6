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

    // Paints now, before returning (the paint and its hand-over to the screen), rather than
    // at the next event-loop pass.
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
};
