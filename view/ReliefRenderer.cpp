#include "view/ReliefRenderer.h"

#include "app/ViewState.h"
#include "view/PointCloud.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

constexpr double kFieldOfView = 45.0; // degrees, vertical
constexpr double kNearPlane = 0.0; // a distance of 0: every vertex gets depth 1.0
constexpr double kFarPlane = 200.0;
constexpr float kEyeDistance = -200.0f;

} // namespace

void ReliefRenderer::init()
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

void ReliefRenderer::applyPerspective() const
{
    const double aspect = double(m_viewport.width) / double(m_viewport.height);
    gluPerspective(kFieldOfView, aspect, kNearPlane, kFarPlane);
}

void ReliefRenderer::resize(int width, int height)
{
    m_viewport = {width, height};
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    applyPerspective();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void ReliefRenderer::paint(ViewState &state, const std::uint8_t *displayBuffer, bool imagePresent,
                           std::uint64_t frameSerial)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glPointSize(GLfloat(state.pointSize));
    applyPerspective();
    glTranslatef(0.0f, 0.0f, kEyeDistance);

    if (imagePresent && displayBuffer) {
        if (m_mode == Mode::Batched)
            drawPointsBatched(state, displayBuffer, frameSerial);
        else
            drawPointsOneByOne(state, displayBuffer);
    }
    drawAxes(state);
}

void ReliefRenderer::drawPointsOneByOne(ViewState &state, const std::uint8_t *displayBuffer)
{
    for (int r = 0; r < PointCloud::kRows; ++r) {
        for (int c = 0; c < PointCloud::kColumns; ++c) {
            glPushMatrix();
            glTranslatef(0.0f, 0.0f, state.zoom);
            glRotatef(state.rotY, 0.0f, 1.0f, 0.0f);
            glRotatef(state.rotX, 1.0f, 0.0f, 0.0f);
            const std::uint8_t v = displayBuffer[state.pixelCursor];
            const GLbyte g = PointCloud::greyByte(v, state.brightDivisor);
            glColor3b(g, g, g);
            glBegin(GL_POINTS);
            glVertex3i(PointCloud::sceneX(c), PointCloud::sceneY(r),
                       PointCloud::height(v, state.heightRatio));
            glEnd();
            glPopMatrix();
            --state.pixelCursor;
        }
    }
    state.pixelCursor = ViewState::kPointCount;
}

void ReliefRenderer::drawPointsBatched(ViewState &state, const std::uint8_t *displayBuffer,
                                       std::uint64_t frameSerial)
{
    if (displayBuffer != m_builtBuffer || frameSerial != m_builtSerial
        || state.heightRatio != m_builtHeightRatio || state.brightDivisor != m_builtBrightDivisor
        || m_xyz.empty()) {
        PointCloud::build(displayBuffer, state.heightRatio, state.brightDivisor, m_xyz, m_rgb);
        m_builtBuffer = displayBuffer;
        m_builtSerial = frameSerial;
        m_builtHeightRatio = state.heightRatio;
        m_builtBrightDivisor = state.brightDivisor;
    }

    glPushMatrix();
    glTranslatef(0.0f, 0.0f, state.zoom);
    glRotatef(state.rotY, 0.0f, 1.0f, 0.0f);
    glRotatef(state.rotX, 1.0f, 0.0f, 0.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_SHORT, 0, m_xyz.data());
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, m_rgb.data());
    glDrawArrays(GL_POINTS, 0, PointCloud::kPoints);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
    // The batch reads the same points the walk would; the cursor ends where the walk leaves it.
    state.pixelCursor = ViewState::kPointCount;
}

void ReliefRenderer::drawAxes(const ViewState &state) const
{
    const int a = static_cast<int>(state.axisLength); // truncated towards zero
    glPushMatrix();
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    glRotatef(state.rotY, 0.0f, 1.0f, 0.0f);
    glRotatef(state.rotX, 1.0f, 0.0f, 0.0f);
    glBegin(GL_LINES);
    glVertex3i(-a, 0, 0);
    glVertex3i(a, 0, 0);
    glVertex3i(0, -a, 0);
    glVertex3i(0, a, 0);
    glVertex3i(0, 0, -a);
    glVertex3i(0, 0, a);
    glEnd();
    glPopMatrix();
}
