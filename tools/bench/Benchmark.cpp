#include "Benchmark.h"

#include "AllocationCounter.h"
#include "app/FrameCapture.h"
#include "FrameStats.h"
#include "ScaledScene.h"

#include "app/FrameProfiler.h"
#include "app/Globals.h"
#include "ViewScene.h"
#include "app/Viewer.h"
#include "render/ModelLoader.h"
#include "render/Model.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <sys/resource.h>
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
    if (!options.model.empty())
        options.model = fs::absolute(options.model).string();
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

bool Benchmark::isSynchronised(int frame) const
{
    return options.syncPasses && frame >= options.warmup && (frame - options.warmup) % 2 == 1;
}

int Benchmark::run()
{
    if (!enterFolder())
        return 1;

    Viewer viewer;
    ViewScene modelScene({options.model}, glm::vec3(0.0f));
    if (!options.model.empty())
        viewer.setSceneBuilder([&](Scene& scene, Camera& camera) { return modelScene.build(scene, camera); },
                               [&](Scene& scene) { modelScene.prefetch(scene); });
    const Clock::time_point startUpBegan = Clock::now();
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
    FrameProfiler synchronised;
    synchronised.setSynchronous(true);
    drawFrames(viewer, profiler, synchronised);
    report(viewer, profiler, synchronised);

    viewer.shutDown();
    return 0;
}

void Benchmark::drawFrames(Viewer& viewer, FrameProfiler& profiler, FrameProfiler& synchronised)
{
    // Everything the loop records into is sized here: the frames allocate
    // nothing of the benchmark's own.
    const int total = options.warmup + options.frames * (options.syncPasses ? 2 : 1);
    const std::size_t frames = static_cast<std::size_t>(options.frames);
    profiler.reserve(frames + 1);
    synchronised.reserve(frames + 1);
    frameMs.reserve(frames);
    frameWorkMs.reserve(frames);
    synchronisedWorkMs.reserve(frames);
    synchronisedFrameMs.reserve(frames);
    std::unique_ptr<FrameCapture> capture;
    if (!options.png.empty())
        capture = std::make_unique<FrameCapture>(screenWidth, screenHeight);

    for (int frame = 0; frame < total && !viewer.shouldClose(); ++frame) {
        const bool measured = frame >= options.warmup;
        const bool synchronisedFrame = isSynchronised(frame);
        if (frame == options.warmup) {
            profiler.clear();
            synchronised.clear();
        }
        viewer.setProfiler(synchronisedFrame ? &synchronised : &profiler);
        const std::size_t allocationsBefore = AllocationCounter::count();

        glfwSetTime(pathTime(frame));
        const double workBegan = FrameProfiler::processCpuMs();
        const Clock::time_point began = Clock::now();
        viewer.renderFrame();
        const Clock::time_point rendered = Clock::now();
        double workMs = FrameProfiler::processCpuMs() - workBegan;
        if (capture && frame == total - 1)
            capture->readBackBuffer();
        const double workPresenting = FrameProfiler::processCpuMs();
        const Clock::time_point presenting = Clock::now();
        viewer.present();
        glFinish();
        const Clock::time_point ended = Clock::now();
        workMs += FrameProfiler::processCpuMs() - workPresenting;
        const double ms = millisecondsBetween(began, rendered) + millisecondsBetween(presenting, ended);

        if (frame == 0) {
            firstFrameMs = ms;
            startUpWorkMs = FrameProfiler::processCpuMs();
        }
        if (!measured)
            continue;
        if (synchronisedFrame) {
            synchronisedFrameMs.push_back(ms);
            synchronisedWorkMs.push_back(workMs);
        } else {
            frameMs.push_back(ms);
            frameWorkMs.push_back(workMs);
        }
        const std::size_t frameAllocations = AllocationCounter::count() - allocationsBefore;
        allocations += frameAllocations;
        mostAllocations = std::max(mostAllocations, frameAllocations);
        framesAllocating += frameAllocations > 0 ? 1 : 0;
        // The clock keeps running between glfwSetTime and the frame's own
        // reading; this is how far that moved deltaTime off the frame time.
        if (frame > 0 && options.start + static_cast<double>(frame - 1 - options.warmup) * options.dt >= 0.0)
            largestClockError =
                std::max(largestClockError, std::fabs(static_cast<double>(deltaTime) - options.dt));
    }
    viewer.setProfiler(nullptr);
    profiler.finish();
    synchronised.finish();

    if (capture) {
        if (capture->writePng(options.png))
            std::cout << "velmora-bench: wrote " << options.png << std::endl;
        else
            std::cerr << "velmora-bench: cannot write " << options.png << std::endl;
    }
}

void Benchmark::report(Viewer& viewer, const FrameProfiler& profiler, const FrameProfiler& synchronised) const
{
    Scene& scene = viewer.getScene();
    std::size_t transparent = 0;
    for (const auto& model : scene.getModels())
        transparent += model->isTransparent() ? 1 : 0;

    char line[256];
    std::cout << "\nvelmora-bench results\n";
    std::snprintf(line, sizeof line,
                  "run: %zu frames after %d warm-up frames, and %zu with synchronised passes between them; "
                  "dt %.6f s, path time %.3f s to %.3f s, post-processing %s, scale %d\n",
                  frameMs.size(), options.warmup, synchronisedFrameMs.size(), options.dt, pathTime(options.warmup),
                  pathTime(options.warmup + static_cast<int>(frameMs.size() + synchronisedFrameMs.size()) - 1),
                  options.postProcessing ? "on" : "off", options.scale);
    std::cout << line;
    std::cout << "scene: " << sceneFolder << ": " << scene.getModels().size() << " models (" << transparent
              << " transparent), " << scene.getPointLights().size() << " point lights, "
              << scene.getSpotLights().size() << " spot lights\n";
    std::cout << "renderer: " << glString(GL_RENDERER) << "; OpenGL " << glString(GL_VERSION) << "\n";
    std::snprintf(line, sizeof line,
                  "start-up: %.1f ms to the first presented frame (start-up %.1f ms, first frame %.1f ms; "
                  "%.1f ms of process CPU time since launch)\n",
                  startUpMs + firstFrameMs, startUpMs, firstFrameMs, startUpWorkMs);
    std::cout << line;
    for (const ModelLoader::LoadRecord& record : ModelLoader::loadRecords()) {
        std::snprintf(line, sizeof line,
                      "model: read %.1f ms, convert %.1f ms, hand-over %.1f ms, upload %.1f ms, %zu triangles, "
                      "import process peak %.0f MiB: ",
                      record.readMs, record.convertMs, record.handOverMs, record.uploadMs, record.triangles,
                      record.childPeakKiB / 1024.0);
        std::cout << line << record.path << "\n";
    }
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0) {
        std::snprintf(line, sizeof line, "memory: viewer peak resident %.0f MiB\n", usage.ru_maxrss / 1024.0);
        std::cout << line;
    }

    // GPU and CPU: the frames run as the viewer runs them. Wall and work:
    // the synchronised frames, where each pass's GPU work is its own.
    std::snprintf(line, sizeof line, "%-12s %9s %9s %9s %9s %9s %9s %9s %9s   (ms)\n", "pass", "GPU med", "GPU p95",
                  "CPU med", "CPU p95", "wall med", "wall p95", "work med", "work p95");
    std::cout << line;
    // Means per frame: a pass that skipped a frame counts 0 there.
    const auto perFrame = [](const std::vector<double>& times, std::size_t frames) {
        return FrameStats(times).total() / static_cast<double>(std::max<std::size_t>(frames, 1));
    };
    double gpuTotal = 0.0;
    double cpuTotal = 0.0;
    double wallTotal = 0.0;
    double workTotal = 0.0;
    for (int pass = 0; pass < FrameProfiler::PassCount; ++pass) {
        const auto p = static_cast<FrameProfiler::Pass>(pass);
        const std::vector<double>& gpu = profiler.gpuTimes(p);
        const std::vector<double>& cpu = profiler.cpuTimes(p);
        const std::vector<double>& wall = synchronised.cpuTimes(p);
        const std::vector<double>& work = synchronised.workTimes(p);
        std::snprintf(line, sizeof line, "%-12s %9s %9s %9s %9s %9s %9s %9s %9s\n", FrameProfiler::passName(p),
                      formatTime(gpu, &FrameStats::median).c_str(), formatTime(gpu, &FrameStats::p95).c_str(),
                      formatTime(cpu, &FrameStats::median).c_str(), formatTime(cpu, &FrameStats::p95).c_str(),
                      formatTime(wall, &FrameStats::median).c_str(), formatTime(wall, &FrameStats::p95).c_str(),
                      formatTime(work, &FrameStats::median).c_str(), formatTime(work, &FrameStats::p95).c_str());
        std::cout << line;
        gpuTotal += perFrame(gpu, frameMs.size());
        cpuTotal += perFrame(cpu, frameMs.size());
        wallTotal += perFrame(wall, synchronisedFrameMs.size());
        workTotal += perFrame(work, synchronisedFrameMs.size());
    }
    const FrameStats frames(frameMs);
    const FrameStats synchronisedFrames(synchronisedFrameMs);
    const bool anySynchronised = !synchronisedFrameMs.empty();
    const std::string wallOther =
        anySynchronised ? formatTime({synchronisedFrames.mean() - wallTotal}, &FrameStats::mean) : "-";
    const std::string workOther =
        anySynchronised ? formatTime({FrameStats(synchronisedWorkMs).mean() - workTotal}, &FrameStats::mean) : "-";
    std::snprintf(line, sizeof line, "%-12s %9s %9s %9.3f %9s %9s %9s %9s %9s   (frame mean less the passes)\n",
                  "other", "", "", frames.mean() - cpuTotal, "", wallOther.c_str(), "", workOther.c_str(), "");
    std::cout << line;
    std::snprintf(line, sizeof line, "passes: GPU %.3f ms, CPU %.3f ms", gpuTotal, cpuTotal);
    std::cout << line;
    if (anySynchronised) {
        std::snprintf(line, sizeof line, ", wall %.3f ms, work %.3f ms", wallTotal, workTotal);
        std::cout << line;
    }
    std::cout << " per frame on average" << (profiler.hasGpuTimer() ? "" : " (no GPU timer on this context)")
              << "\n";
    if (!synchronisedFrameMs.empty()) {
        std::snprintf(line, sizeof line,
                      "synchronised frames: median %.3f ms, mean %.3f ms (a glFinish around every pass)\n",
                      synchronisedFrames.median(), synchronisedFrames.mean());
        std::cout << line;
    }
    std::snprintf(line, sizeof line,
                  "frame: median %.3f ms, p95 %.3f ms, mean %.3f ms, %.2f frames per second\n", frames.median(),
                  frames.p95(), frames.mean(), frames.mean() > 0.0 ? 1000.0 / frames.mean() : 0.0);
    std::cout << line;
    const FrameStats work(frameWorkMs);
    std::snprintf(line, sizeof line, "work: median %.3f ms, p95 %.3f ms of process CPU time per frame\n",
                  work.median(), work.p95());
    std::cout << line;
    const std::size_t measured = std::max<std::size_t>(frameMs.size() + synchronisedFrameMs.size(), 1);
    // Counted are C++ allocations of the whole process: the viewer's own and
    // those of the driver's shader compiler, which compiles a program variant
    // the first time a new combination of GL state meets it.
    std::snprintf(line, sizeof line,
                  "allocations: %.1f per frame on average, at most %zu, in %zu of %zu frames; clock: deltaTime "
                  "within %.1f us of dt\n",
                  static_cast<double>(allocations) / static_cast<double>(measured), mostAllocations, framesAllocating,
                  measured, largestClockError * 1e6);
    std::cout << line << std::flush;
}
