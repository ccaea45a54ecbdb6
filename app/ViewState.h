#pragma once

#include <cstdint>
#include <string>

// Everything the window's handlers share across events. One instance lives for the whole
// process (made in main before the window); tests make their own. All access is on the UI
// thread, so there is no lock.
struct ViewState
{
    static constexpr std::int32_t kPointCount = 128 * 123; // 15744, index of the first point

    float rotX = 0.0f; // degrees about X
    float rotY = 0.0f; // degrees about Y
    float zoom = -20.0f; // extra Z translation of the point cloud, scene units
    float axisLength = 20.0f; // half length of each axis line, scene units

    std::int32_t pointSize = 1; // GL point size in pixels, 1..10
    std::int32_t heightRatio = 50; // brightness / heightRatio = height, 1..50
    std::int32_t brightDivisor = 1; // brightness / brightDivisor = grey level, 1..5
    std::int32_t pixelCursor = kPointCount; // display-buffer index of the next point to draw

    bool portOpen = false;
    bool autoRotate = false;
    bool moviePlaying = false;

    std::int32_t liveFrameCount = 0; // number of the next live_n.kvr
    std::int32_t frozenFrameCount = 0; // number of the next frozen_n.kvr

    std::string liveFileName;
    std::string frozenFileName;
    std::string loadedFileName;
};
