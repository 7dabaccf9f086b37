#pragma once

#include <GL/glew.h>

#include <array>
#include <chrono>
#include <vector>

// Per-pass CPU and GPU timing of the frame loop. The viewer calls begin/end
// around each pass when a profiler is attached; GPU times come from
// GL_TIME_ELAPSED queries, read back one frame later so the loop never waits.
//
// Owns its query objects (created on construction, which needs a context).
class FrameProfiler {
public:
    enum Pass { Captures, LitPass, ShadowPass, Sky, Particles, Composite, Swap, PassCount };

    FrameProfiler();

    void begin(Pass pass);
    void end(Pass pass);
    // Closes the frame: collects the previous frame's GPU results.
    void endFrame();

    static const char* passName(Pass pass);

    // Milliseconds per recorded frame, one vector per pass.
    const std::vector<double>& cpuTimes(Pass pass) const { return cpu[pass]; }
    const std::vector<double>& gpuTimes(Pass pass) const { return gpu[pass]; }
    void clear();

private:
    std::array<std::array<GLuint, PassCount>, 2> queries{};
    std::array<bool, PassCount> issued[2]{};
    int frameParity = 0;
    bool haveFrame = false;
    std::array<std::chrono::steady_clock::time_point, PassCount> started{};
    std::array<std::vector<double>, PassCount> cpu;
    std::array<std::vector<double>, PassCount> gpu;
};
