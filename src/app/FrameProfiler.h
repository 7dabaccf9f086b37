#pragma once

#include <GL/glew.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <vector>

// Per-pass CPU and GPU times of the frame loop. The viewer calls begin/end
// around each pass and endFrame after the swap when a profiler is attached.
//
// CPU time: steady_clock from begin to end (what the pass costs the calling
// thread: command submission, and waits where a pass blocks on the GPU).
// Work: the process's CPU time over the same span, all threads together;
// with a CPU rasteriser (llvmpipe) that includes its rendering threads, and
// unlike wall time it does not grow when other programs load the machine.
// GPU time: one GL_TIME_ELAPSED query per pass. The queries of a frame are
// read back at the end of the next frame (two query sets used in turn), by
// when the GPU has long finished them, so the loop never stalls on a query;
// finish() collects the last frame. Such queries cannot nest: passes are
// bracketed one after another, never inside each other, and each pass at most
// once per frame (a nested or repeated begin is timed on the CPU only).
//
// Synchronous mode (for benchmarks) calls glFinish as each pass begins and
// ends, so a pass's CPU time becomes its wall time with all of its GPU work
// done and none of the work queued before it. Drivers that defer rendering
// and run it tile by tile (Mesa's llvmpipe rasterises a whole render target
// only when it is flushed, interleaving the passes drawn into it) report
// timer queries that do not add up to the frame; the synchronous CPU times
// do. It costs a flush per pass; leave it off in the viewer.
//
// Owns: 2 x PassCount query objects, made by the constructor (which needs a
// current context) and never deleted (they end with the context).
// Recording appends one value per pass and frame that ran it: call reserve()
// with the number of frames first so that the frame loop allocates nothing.
class FrameProfiler {
public:
    enum Pass { Captures, LitPass, ShadowPass, Sky, Particles, Composite, Swap, PassCount };

    FrameProfiler();

    void begin(Pass pass);
    void end(Pass pass);
    // Closes the frame: collects the previous frame's GPU results.
    void endFrame();
    // Collects the GPU results still outstanding, waiting for them. Call
    // after the last frame (the profiler stays usable).
    void finish();

    void setSynchronous(bool value) { synchronous = value; }

    void reserve(std::size_t frames);
    // Forgets every recorded time (after a warm-up); queries in flight are
    // collected and dropped.
    void clear();

    // "captures", "lit pass", ... ; "" for PassCount.
    static const char* passName(Pass pass);
    // False when the context has no timer (query counter bits 0); the GPU
    // times then stay empty.
    bool hasGpuTimer() const { return gpuTimer; }

    // Milliseconds, one value per recorded frame in which the pass ran.
    const std::vector<double>& cpuTimes(Pass pass) const { return cpu[pass]; }
    const std::vector<double>& gpuTimes(Pass pass) const { return gpu[pass]; }
    const std::vector<double>& workTimes(Pass pass) const { return work[pass]; }

    // The process's CPU time, all threads, in milliseconds.
    static double processCpuMs();

private:
    void collect(int set);

    using Clock = std::chrono::steady_clock;

    std::array<std::array<GLuint, PassCount>, 2> queries{};
    // Per query set: which passes issued a query that is still to be read.
    std::array<std::array<bool, PassCount>, 2> issued{};
    // Passes begun in the current frame (a repeat is not timed again).
    std::array<bool, PassCount> seen{};
    int currentSet = 0;
    int activeQuery = -1; // the pass whose query is open, -1 for none
    bool gpuTimer = false;
    bool synchronous = false;
    std::array<Clock::time_point, PassCount> started{};
    std::array<double, PassCount> workStarted{};
    std::array<bool, PassCount> running{};
    std::array<std::vector<double>, PassCount> cpu;
    std::array<std::vector<double>, PassCount> gpu;
    std::array<std::vector<double>, PassCount> work;
};
