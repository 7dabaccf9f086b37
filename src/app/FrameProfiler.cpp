#include "app/FrameProfiler.h"

#include <ctime>

FrameProfiler::FrameProfiler()
{
    GLint bits = 0;
    glGetQueryiv(GL_TIME_ELAPSED, GL_QUERY_COUNTER_BITS, &bits);
    gpuTimer = bits > 0;
    for (auto& set : queries)
        glGenQueries(PassCount, set.data());
}

void FrameProfiler::begin(Pass pass)
{
    if (pass < 0 || pass >= PassCount || running[pass])
        return;
    running[pass] = true;
    if (synchronous)
        glFinish();
    if (gpuTimer && activeQuery < 0 && !seen[pass]) {
        glBeginQuery(GL_TIME_ELAPSED, queries[currentSet][pass]);
        issued[currentSet][pass] = true;
        activeQuery = pass;
    }
    workStarted[pass] = processCpuMs();
    started[pass] = Clock::now();
}

void FrameProfiler::end(Pass pass)
{
    if (pass < 0 || pass >= PassCount || !running[pass])
        return;
    if (synchronous)
        glFinish();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started[pass]).count();
    const double workMs = processCpuMs() - workStarted[pass];
    running[pass] = false;
    if (activeQuery == pass) {
        glEndQuery(GL_TIME_ELAPSED);
        activeQuery = -1;
    }
    // A pass run twice in one frame counts as one pass of the summed length.
    if (seen[pass] && !cpu[pass].empty()) {
        cpu[pass].back() += ms;
        work[pass].back() += workMs;
    } else {
        cpu[pass].push_back(ms);
        work[pass].push_back(workMs);
    }
    seen[pass] = true;
}

void FrameProfiler::endFrame()
{
    if (activeQuery >= 0) {
        // A begin without its end: close the query so the next frame can
        // open one; its result still counts for that pass.
        glEndQuery(GL_TIME_ELAPSED);
        activeQuery = -1;
    }
    running.fill(false);
    seen.fill(false);
    // The other set holds the previous frame, finished by now on any GPU
    // that keeps less than a frame queued.
    collect(1 - currentSet);
    currentSet = 1 - currentSet;
}

void FrameProfiler::finish()
{
    collect(1 - currentSet);
}

void FrameProfiler::collect(int set)
{
    for (int pass = 0; pass < PassCount; ++pass) {
        if (!issued[set][pass])
            continue;
        GLuint64 nanoseconds = 0;
        glGetQueryObjectui64v(queries[set][pass], GL_QUERY_RESULT, &nanoseconds);
        gpu[pass].push_back(static_cast<double>(nanoseconds) * 1e-6);
        issued[set][pass] = false;
    }
}

void FrameProfiler::reserve(std::size_t frames)
{
    for (int pass = 0; pass < PassCount; ++pass) {
        cpu[pass].reserve(frames);
        gpu[pass].reserve(frames);
        work[pass].reserve(frames);
    }
}

void FrameProfiler::clear()
{
    finish();
    for (int pass = 0; pass < PassCount; ++pass) {
        cpu[pass].clear();
        gpu[pass].clear();
        work[pass].clear();
    }
}

double FrameProfiler::processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

const char* FrameProfiler::passName(Pass pass)
{
    switch (pass) {
    case Captures:
        return "captures";
    case LitPass:
        return "lit pass";
    case ShadowPass:
        return "shadow pass";
    case Sky:
        return "sky";
    case Particles:
        return "particles";
    case Composite:
        return "composite";
    case Swap:
        return "swap";
    case PassCount:
        break;
    }
    return "";
}
