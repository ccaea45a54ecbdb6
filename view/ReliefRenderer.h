#pragma once

#include <cstdint>
#include <vector>

struct ViewState;

// Draws a frame as a cloud of 128 x 123 points with red axes, in fixed-function OpenGL.
// The caller makes the GL context current before each call.
//
// Every transformation of a paint goes onto the projection matrix (the modelview matrix
// stays the identity): perspective(45, w/h, near 0, far 200) * translate(0, 0, -200) *
// translate(0, 0, zoom) * rotate(rotY, Y) * rotate(rotX, X) for the points, the same
// without the zoom translation for the axes. With the near plane at 0 every vertex lands at
// depth 1.0, so draw order alone decides what covers what, and the axes come out on top.
class ReliefRenderer
{
public:
    // Batched draws all points with one vertex-array call; PointByPoint issues one GL_POINTS
    // primitive per point with glColor3b. Both give the same picture; the second is the
    // reference the tests and the benchmark compare against.
    enum class Mode { Batched, PointByPoint };

    struct Viewport
    {
        int width = 0;
        int height = 0;
    };

    void setMode(Mode mode) { m_mode = mode; }
    Mode mode() const { return m_mode; }

    // Fixed GL state: clear colour, blending, depth test (less-or-equal), perspective hint.
    void init();

    // Viewport and projection for a panel of width x height pixels (height >= 1).
    void resize(int width, int height);
    Viewport viewport() const { return m_viewport; }

    // Draws the picture. displayBuffer holds 16384 bytes, or is null when imagePresent is
    // false. frameSerial changes whenever the buffer's content changes, so the batched
    // arrays are rebuilt only then (or when the height ratio or divisor change).
    // Walks state.pixelCursor down from 15744 and leaves it at 15744.
    void paint(ViewState &state, const std::uint8_t *displayBuffer, bool imagePresent,
               std::uint64_t frameSerial);

private:
    void applyPerspective() const;
    void drawPointsBatched(ViewState &state, const std::uint8_t *displayBuffer,
                           std::uint64_t frameSerial);
    void drawPointsOneByOne(ViewState &state, const std::uint8_t *displayBuffer);
    void drawAxes(const ViewState &state) const;

    Mode m_mode = Mode::Batched;
    Viewport m_viewport;

    // Cache of the batched arrays and what they were built from.
    std::vector<std::int16_t> m_xyz;
    std::vector<std::uint8_t> m_rgb;
    const std::uint8_t *m_builtBuffer = nullptr;
    std::uint64_t m_builtSerial = 0;
    int m_builtHeightRatio = 0;
    int m_builtBrightDivisor = 0;
};
