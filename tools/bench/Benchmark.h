#pragma once

#include "BenchOptions.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class FrameProfiler;
class ScaledScene;
class Viewer;

// One benchmark run: the viewer's own start-up and frame loop (the code the
// velmora program runs) in the 1920x1080 full-screen window, with the clock
// set before every frame so that each frame advances the path, the models
// and the particles by exactly the chosen frame time.
//
// Frame k (warm-up first) is drawn at path time start + (k - warmup) * dt,
// never below 0: the first frame gets there in one step, as the viewer's
// first frame does after start-up. A frame's wall time covers renderFrame,
// the swap and a glFinish, so the GPU's work is inside it and every frame
// starts with nothing queued.
//
// Measured frames run as the viewer runs them; they give the frame times and
// each pass's timer-query (GPU) and CPU times. With synchronised passes on,
// every other measured frame instead runs with a glFinish around each pass
// (a second profiler), which gives each pass's wall time with its GPU work;
// those frames are left out of the frame times. Work is the process's CPU
// time (all threads: with llvmpipe, its rendering threads too), which unlike
// wall time does not grow when other programs load the machine.
//
// The report goes to standard output after the viewer's own console lines.
class Benchmark {
public:
    explicit Benchmark(const BenchOptions& options);
    ~Benchmark();
    Benchmark(const Benchmark&) = delete;
    Benchmark& operator=(const Benchmark&) = delete;

    // Returns the exit status: 0, or 1 when the folder, the window or a data
    // file fails (one line on standard error says why).
    int run();

private:
    using Clock = std::chrono::steady_clock;

    // Makes the PNG path absolute, builds the scaled scene if asked and
    // enters the folder to run from.
    bool enterFolder();
    void drawFrames(Viewer& viewer, FrameProfiler& profiler, FrameProfiler& synchronised);
    void report(Viewer& viewer, const FrameProfiler& profiler, const FrameProfiler& synchronised) const;
    double pathTime(int frame) const;
    // Whether measured frame `frame` (counting warm-up) is a synchronised one.
    bool isSynchronised(int frame) const;

    BenchOptions options;
    std::string sceneFolder; // as given, for the report
    std::unique_ptr<ScaledScene> scaled;
    double startUpMs = 0.0;
    double firstFrameMs = 0.0;
    double startUpWorkMs = 0.0; // process CPU time from exec to the first frame's end
    std::vector<double> frameMs;             // frames run as the viewer runs them
    std::vector<double> synchronisedFrameMs; // frames with every pass synchronised
    std::vector<double> frameWorkMs;         // process CPU time of the frameMs frames
    std::vector<double> synchronisedWorkMs;  // and of the synchronised frames
    std::size_t allocations = 0;             // during all measured frames
    std::size_t mostAllocations = 0;         // in one measured frame
    std::size_t framesAllocating = 0;        // measured frames with any allocation
    double largestClockError = 0.0;
};
