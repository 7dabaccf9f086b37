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
// the swap and a glFinish, so the GPU's work is inside it.
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
    void drawFrames(Viewer& viewer, FrameProfiler& profiler);
    void report(Viewer& viewer, const FrameProfiler& profiler) const;
    double pathTime(int frame) const;

    BenchOptions options;
    std::string sceneFolder; // as given, for the report
    std::unique_ptr<ScaledScene> scaled;
    Clock::time_point startUpBegan;
    double startUpMs = 0.0;
    double firstFrameMs = 0.0;
    std::vector<double> frameMs;
    std::vector<std::size_t> frameAllocations;
    double largestClockError = 0.0;
    int framesDrawn = 0;
};
