#include "GlContext.h"
#include "app/FrameProfiler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using Pass = FrameProfiler::Pass;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Some GPU work: a few full clears of the default framebuffer.
void clearSeveralTimes()
{
    for (int i = 0; i < 4; ++i) {
        glClearColor(0.1f * static_cast<float>(i), 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
}

// A full-window triangle whose fragments each loop long enough that a CPU
// rasteriser takes tens of milliseconds over the window: work that is still
// running right after it has been issued.
class SlowDraw {
public:
    SlowDraw()
    {
        const char* vertex = "#version 430 core\n"
                             "void main() {\n"
                             "    vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);\n"
                             "    gl_Position = vec4(p, 0.0, 1.0);\n"
                             "}\n";
        const char* fragment = "#version 430 core\n"
                               "uniform int rounds;\n"
                               "out vec4 colour;\n"
                               "void main() {\n"
                               "    float x = gl_FragCoord.x * 1e-3;\n"
                               "    for (int i = 0; i < rounds; ++i) x = fract(sin(x * 12.9898) * 43758.5453);\n"
                               "    colour = vec4(x, 0.0, 0.0, 1.0);\n"
                               "}\n";
        program = glCreateProgram();
        for (const auto& stage : {std::make_pair(GL_VERTEX_SHADER, vertex), std::make_pair(GL_FRAGMENT_SHADER, fragment)}) {
            const GLuint shader = glCreateShader(stage.first);
            glShaderSource(shader, 1, &stage.second, nullptr);
            glCompileShader(shader);
            glAttachShader(program, shader);
        }
        glLinkProgram(program);
        glGenVertexArrays(1, &vao);
    }
    void draw() const
    {
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "rounds"), 1500);
        glBindVertexArray(vao);
        glDisable(GL_DEPTH_TEST);
        glDrawArrays(GL_TRIANGLES, 0, 3);
    }

private:
    GLuint program = 0;
    GLuint vao = 0;
};

class FrameProfilerTest : public GlTest {};

} // namespace

TEST_F(FrameProfilerTest, CpuTimesPerPassAndGpuTimesOneFrameLater)
{
    FrameProfiler profiler;
    ASSERT_TRUE(profiler.hasGpuTimer()) << "every 4.3 context has GL_TIME_ELAPSED queries";

    for (int frame = 0; frame < 3; ++frame) {
        profiler.begin(FrameProfiler::Captures);
        clearSeveralTimes();
        profiler.end(FrameProfiler::Captures);
        profiler.begin(FrameProfiler::Sky);
        sleepMs(3);
        profiler.end(FrameProfiler::Sky);
        profiler.endFrame();
        // The frame's own GPU results are read at the end of the next one,
        // so the loop never waits for them.
        EXPECT_EQ(profiler.gpuTimes(FrameProfiler::Captures).size(), static_cast<std::size_t>(frame));
        EXPECT_EQ(profiler.cpuTimes(FrameProfiler::Captures).size(), static_cast<std::size_t>(frame + 1));
    }
    profiler.finish();
    EXPECT_TRUE(GlContext::drainErrors().empty());

    ASSERT_EQ(profiler.gpuTimes(FrameProfiler::Captures).size(), 3u);
    ASSERT_EQ(profiler.cpuTimes(FrameProfiler::Sky).size(), 3u);
    for (double ms : profiler.cpuTimes(FrameProfiler::Sky))
        EXPECT_GE(ms, 3.0); // the sleep is inside the pass
    for (double ms : profiler.gpuTimes(FrameProfiler::Captures)) {
        EXPECT_GE(ms, 0.0);
        EXPECT_LT(ms, 10000.0);
    }
    // Passes that never ran record nothing.
    EXPECT_TRUE(profiler.cpuTimes(FrameProfiler::Composite).empty());
    EXPECT_TRUE(profiler.gpuTimes(FrameProfiler::Composite).empty());
}

TEST_F(FrameProfilerTest, WorkCountsCpuTimeSpentNotTimeWaited)
{
    // Work is the process's CPU time: a pass that sleeps does next to none,
    // one that computes does all of its wall time.
    FrameProfiler profiler;
    profiler.begin(FrameProfiler::Sky);
    sleepMs(20);
    profiler.end(FrameProfiler::Sky);
    profiler.begin(FrameProfiler::Particles);
    const double began = FrameProfiler::processCpuMs();
    volatile double sink = 0.0;
    while (FrameProfiler::processCpuMs() - began < 10.0)
        sink = sink + 1.0;
    profiler.end(FrameProfiler::Particles);
    profiler.endFrame();

    ASSERT_EQ(profiler.workTimes(FrameProfiler::Sky).size(), 1u);
    EXPECT_GE(profiler.cpuTimes(FrameProfiler::Sky)[0], 20.0);
    // Idle threads of the driver may take a little CPU meanwhile.
    EXPECT_LT(profiler.workTimes(FrameProfiler::Sky)[0], 5.0);
    ASSERT_EQ(profiler.workTimes(FrameProfiler::Particles).size(), 1u);
    EXPECT_GE(profiler.workTimes(FrameProfiler::Particles)[0], 10.0);
    EXPECT_GE(profiler.cpuTimes(FrameProfiler::Particles)[0], 10.0);
}

TEST_F(FrameProfilerTest, NestedOrRepeatedPassesAreTimedOnTheCpuOnlyWithoutGlErrors)
{
    // Two GL_TIME_ELAPSED queries may not be open at once; the inner pass
    // must not try.
    FrameProfiler profiler;
    profiler.begin(FrameProfiler::Particles);
    profiler.begin(FrameProfiler::Sky);
    sleepMs(2);
    profiler.end(FrameProfiler::Sky);
    profiler.end(FrameProfiler::Particles);
    // The same pass a second time in the frame: its time is added.
    profiler.begin(FrameProfiler::Sky);
    sleepMs(2);
    profiler.end(FrameProfiler::Sky);
    // An end without a begin is ignored.
    profiler.end(FrameProfiler::Swap);
    profiler.endFrame();
    profiler.finish();
    EXPECT_TRUE(GlContext::drainErrors().empty());

    EXPECT_EQ(profiler.gpuTimes(FrameProfiler::Particles).size(), 1u);
    EXPECT_TRUE(profiler.gpuTimes(FrameProfiler::Sky).empty());
    ASSERT_EQ(profiler.cpuTimes(FrameProfiler::Sky).size(), 1u);
    EXPECT_GE(profiler.cpuTimes(FrameProfiler::Sky)[0], 4.0);
    ASSERT_EQ(profiler.cpuTimes(FrameProfiler::Particles).size(), 1u);
    EXPECT_GE(profiler.cpuTimes(FrameProfiler::Particles)[0], 2.0);
    EXPECT_TRUE(profiler.cpuTimes(FrameProfiler::Swap).empty());
}

TEST_F(FrameProfilerTest, ClearDropsWarmUpFramesIncludingTheOneStillInFlight)
{
    FrameProfiler profiler;
    for (int frame = 0; frame < 2; ++frame) {
        profiler.begin(FrameProfiler::LitPass);
        profiler.end(FrameProfiler::LitPass);
        profiler.endFrame();
    }
    profiler.clear();
    EXPECT_TRUE(profiler.cpuTimes(FrameProfiler::LitPass).empty());

    profiler.begin(FrameProfiler::LitPass);
    profiler.end(FrameProfiler::LitPass);
    profiler.endFrame();
    profiler.finish();
    // Only the frame after the clear, on both clocks.
    EXPECT_EQ(profiler.cpuTimes(FrameProfiler::LitPass).size(), 1u);
    EXPECT_EQ(profiler.gpuTimes(FrameProfiler::LitPass).size(), 1u);
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(FrameProfilerTest, ReservedFramesRecordWithoutReallocating)
{
    FrameProfiler profiler;
    profiler.reserve(16);
    profiler.begin(FrameProfiler::Swap);
    profiler.end(FrameProfiler::Swap);
    profiler.endFrame();
    const double* cpuData = profiler.cpuTimes(FrameProfiler::Swap).data();
    const double* gpuData = nullptr;
    for (int frame = 1; frame < 16; ++frame) {
        profiler.begin(FrameProfiler::Swap);
        profiler.end(FrameProfiler::Swap);
        profiler.endFrame();
        if (frame == 1)
            gpuData = profiler.gpuTimes(FrameProfiler::Swap).data();
    }
    profiler.finish();
    EXPECT_EQ(profiler.cpuTimes(FrameProfiler::Swap).size(), 16u);
    EXPECT_EQ(profiler.gpuTimes(FrameProfiler::Swap).size(), 16u);
    EXPECT_EQ(profiler.cpuTimes(FrameProfiler::Swap).data(), cpuData);
    EXPECT_EQ(profiler.gpuTimes(FrameProfiler::Swap).data(), gpuData);
}

TEST_F(FrameProfilerTest, SynchronousPassesEndWithTheirGpuWorkDone)
{
    // A fence issued inside the pass has signalled by the time end() returns
    // only if end() waited for the GPU.
    SlowDraw slow;
    FrameProfiler profiler;
    profiler.setSynchronous(true);
    profiler.begin(FrameProfiler::Composite);
    slow.draw();
    GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    profiler.end(FrameProfiler::Composite);
    GLint status = GL_UNSIGNALED;
    glGetSynciv(fence, GL_SYNC_STATUS, sizeof status, nullptr, &status);
    glDeleteSync(fence);
    EXPECT_EQ(status, GL_SIGNALED);
    profiler.endFrame();
    profiler.finish();
    EXPECT_EQ(profiler.cpuTimes(FrameProfiler::Composite).size(), 1u);
    EXPECT_EQ(profiler.gpuTimes(FrameProfiler::Composite).size(), 1u);
    EXPECT_TRUE(GlContext::drainErrors().empty());
}
