#include "Benchmark.h"

#include "AllocationCounter.h"
#include "FrameCapture.h"
#include "FrameStats.h"
#include "ScaledScene.h"

#include "app/FrameProfiler.h"
#include "app/Globals.h"
#include "app/Viewer.h"
#include "render/Model.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

double millisecondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string formatTime(const std::vector<double>& times, double (FrameStats::*value)() const)
{
    if (times.empty())
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", (FrameStats(times).*value)());
    return text;
}

std::string glString(GLenum name)
{
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "unknown";
}

} // namespace

Benchmark::Benchmark(const BenchOptions& options) : options(options) {}

Benchmark::~Benchmark() = default;

double Benchmark::pathTime(int frame) const
{
    return std::max(0.0, options.start + static_cast<double>(frame - options.warmup) * options.dt);
}

bool Benchmark::enterFolder()
{
    if (!options.png.empty())
        options.png = fs::absolute(options.png).string();
    sceneFolder = options.dir.empty() ? fs::current_path().string() : options.dir;
    std::string folder = sceneFolder;
    if (options.scale > 1) {
        try {
            scaled = std::make_unique<ScaledScene>(sceneFolder, options.scale);
        } catch (const std::exception& error) {
            std::cerr << "velmora-bench: " << error.what() << std::endl;
            return false;
        }
        folder = scaled->path();
    }
    if (chdir(folder.c_str()) != 0) {
        std::cerr << "velmora-bench: cannot enter " << folder << std::endl;
        return false;
    }
    return true;
}

int Benchmark::run()
{
    if (!enterFolder())
        return 1;

    Viewer viewer;
    startUpBegan = Clock::now();
    try {
        if (!viewer.startUp())
            return 1;
    } catch (const std::exception& error) {
        std::cerr << "velmora-bench: " << error.what() << std::endl;
        glfwTerminate();
        return 1;
    }
    startUpMs = millisecondsBetween(startUpBegan, Clock::now());
    postProcessingEnabled = options.postProcessing;

    FrameProfiler profiler;
    profiler.setSynchronous(options.syncPasses);
    drawFrames(viewer, profiler);
    report(viewer, profiler);

    viewer.shutDown();
    return 0;
}

void Benchmark::drawFrames(Viewer& viewer, FrameProfiler& profiler)
{
    // Everything the loop records into is sized here: the frames allocate
    // nothing of the benchmark's own.
    const int total = options.warmup + options.frames;
    profiler.reserve(static_cast<std::size_t>(options.frames) + 1);
    frameMs.reserve(static_cast<std::size_t>(options.frames));
    frameAllocations.reserve(static_cast<std::size_t>(options.frames));
    std::unique_ptr<FrameCapture> capture;
    if (!options.png.empty())
        capture = std::make_unique<FrameCapture>(screenWidth, screenHeight);

    viewer.setProfiler(&profiler);
    for (int frame = 0; frame < total && !viewer.shouldClose(); ++frame) {
        const bool measured = frame >= options.warmup;
        if (frame == options.warmup)
            profiler.clear();
        const std::size_t allocationsBefore = AllocationCounter::count();

        glfwSetTime(pathTime(frame));
        const Clock::time_point began = Clock::now();
        viewer.renderFrame();
        const Clock::time_point rendered = Clock::now();
        if (capture && frame == total - 1)
            capture->readBackBuffer();
        const Clock::time_point presenting = Clock::now();
        viewer.present();
        glFinish();
        const Clock::time_point ended = Clock::now();
        ++framesDrawn;

        if (frame == 0) {
            firstFrameMs = millisecondsBetween(began, rendered) + millisecondsBetween(presenting, ended);
        }
        if (!measured)
            continue;
        frameMs.push_back(millisecondsBetween(began, rendered) + millisecondsBetween(presenting, ended));
        frameAllocations.push_back(AllocationCounter::count() - allocationsBefore);
        // The clock keeps running between glfwSetTime and the frame's own
        // reading; this is how far that moved deltaTime off the frame time.
        if (frame > 0 && options.start + static_cast<double>(frame - 1 - options.warmup) * options.dt >= 0.0)
            largestClockError =
                std::max(largestClockError, std::fabs(static_cast<double>(deltaTime) - options.dt));
    }
    viewer.setProfiler(nullptr);
    profiler.finish();

    if (capture) {
        if (capture->writePng(options.png))
            std::cout << "velmora-bench: wrote " << options.png << std::endl;
        else
            std::cerr << "velmora-bench: cannot write " << options.png << std::endl;
    }
}

void Benchmark::report(Viewer& viewer, const FrameProfiler& profiler) const
{
    std::size_t transparent = 0;
    for (const auto& model : viewer.getScene().getModels())
        transparent += model->isTransparent() ? 1 : 0;

    char line[256];
    std::cout << "\nvelmora-bench results\n";
    std::snprintf(line, sizeof line,
                  "run: %d frames after %d warm-up frames, dt %.6f s, path time %.3f s to %.3f s, "
                  "post-processing %s, scale %d\n",
                  static_cast<int>(frameMs.size()), options.warmup, options.dt, pathTime(options.warmup),
                  pathTime(options.warmup + options.frames - 1), options.postProcessing ? "on" : "off",
                  options.scale);
    std::cout << line;
    std::cout << "scene: " << sceneFolder << ": " << viewer.getScene().getModels().size() << " models ("
              << transparent << " transparent), " << viewer.getScene().getPointLights().size() << " point lights, "
              << viewer.getScene().getSpotLights().size() << " spot lights\n";
    std::cout << "renderer: " << glString(GL_RENDERER) << "; OpenGL " << glString(GL_VERSION) << "\n";
    std::snprintf(line, sizeof line,
                  "start-up: %.1f ms to the first presented frame (start-up %.1f ms, first frame %.1f ms)\n",
                  startUpMs + firstFrameMs, startUpMs, firstFrameMs);
    std::cout << line;

    std::snprintf(line, sizeof line, "%-12s %11s %11s %11s %11s   (ms)\n", "pass", "GPU median", "GPU p95",
                  "CPU median", "CPU p95");
    std::cout << line;
    double gpuTotal = 0.0;
    double cpuTotal = 0.0;
    for (int pass = 0; pass < FrameProfiler::PassCount; ++pass) {
        const auto p = static_cast<FrameProfiler::Pass>(pass);
        const std::vector<double>& gpu = profiler.gpuTimes(p);
        const std::vector<double>& cpu = profiler.cpuTimes(p);
        std::snprintf(line, sizeof line, "%-12s %11s %11s %11s %11s\n", FrameProfiler::passName(p),
                      formatTime(gpu, &FrameStats::median).c_str(), formatTime(gpu, &FrameStats::p95).c_str(),
                      formatTime(cpu, &FrameStats::median).c_str(), formatTime(cpu, &FrameStats::p95).c_str());
        std::cout << line;
        // Per frame of the run: a pass that skipped frames counts 0 there.
        gpuTotal += FrameStats(gpu).total() / static_cast<double>(std::max<std::size_t>(frameMs.size(), 1));
        cpuTotal += FrameStats(cpu).total() / static_cast<double>(std::max<std::size_t>(frameMs.size(), 1));
    }
    const FrameStats frames(frameMs);
    std::snprintf(line, sizeof line, "%-12s %11s %11s %11.3f %11s   (frame mean less the passes)\n", "other", "",
                  "", frames.mean() - cpuTotal, "");
    std::cout << line;
    std::snprintf(line, sizeof line, "passes: GPU %.3f ms, CPU %.3f ms per frame on average; %s\n", gpuTotal,
                  cpuTotal,
                  !profiler.hasGpuTimer()           ? "no GPU timer on this context"
                  : options.syncPasses ? "glFinish around each pass: CPU = wall time with the GPU work"
                                       : "passes not synchronised: GPU work may land in a later pass");
    std::cout << line;

    std::snprintf(line, sizeof line,
                  "frame: median %.3f ms, p95 %.3f ms, mean %.3f ms, %.2f frames per second\n", frames.median(),
                  frames.p95(), frames.mean(), frames.mean() > 0.0 ? 1000.0 / frames.mean() : 0.0);
    std::cout << line;
    std::size_t allocations = 0;
    std::size_t most = 0;
    for (std::size_t count : frameAllocations) {
        allocations += count;
        most = std::max(most, count);
    }
    std::snprintf(line, sizeof line,
                  "allocations: %.1f per frame on average, at most %zu; clock: deltaTime within %.1f us of dt\n",
                  static_cast<double>(allocations) / static_cast<double>(std::max<std::size_t>(frameMs.size(), 1)),
                  most, largestClockError * 1e6);
    std::cout << line << std::flush;
}
