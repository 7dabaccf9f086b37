// velmora-bench run for real on the shipped scene, briefly: it must draw the
// scene, time every pass and print figures that hang together. Nothing here
// asserts a speed.
#include "CoutCapture.h"
#include "ImageProbe.h"
#include "TempDir.h"
#include "scene/ConfigSection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct BenchResult {
    int status = -1;
    std::string output; // stdout and stderr
};

BenchResult runBench(const std::string& arguments)
{
    const std::string command =
        "'" VELMORA_BENCH_BINARY "' --dir '" VELMORA_SOURCE_DIR "' " + arguments + " 2>&1 < /dev/null";
    BenchResult run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

const std::vector<std::string> passNames = {"captures", "lit pass",  "shadow pass", "sky",
                                            "particles", "composite", "swap"};

// The results block of the output, taken apart.
struct Report {
    // GPU median, p95, CPU median, p95; in synchronised frames wall median,
    // p95 and work (process CPU time) median, p95.
    std::map<std::string, std::vector<std::string>> passes;
    double other = NAN;
    double cpuTotal = NAN;
    double median = NAN, p95 = NAN, mean = NAN, fps = NAN;
    int models = -1, pointLights = -1, spotLights = -1;
    // Timed frames (both kinds) and how many of them allocated on the heap.
    int allocatingFrames = -1, timedFrames = -1;
    std::string runLine;
};

Report parseReport(const std::string& output)
{
    Report report;
    const std::string::size_type results = output.find("velmora-bench results\n");
    if (results == std::string::npos)
        return report;
    std::istringstream lines(output.substr(results));
    bool inTable = false;
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("run: ", 0) == 0)
            report.runLine = line;
        if (std::regex_search(line, match, std::regex(R"((\d+) models \(\d+ transparent\), (\d+) point lights, (\d+) spot lights)"))) {
            report.models = std::stoi(match[1]);
            report.pointLights = std::stoi(match[2]);
            report.spotLights = std::stoi(match[3]);
        }
        if (line.rfind("pass ", 0) == 0) {
            inTable = true;
            continue;
        }
        if (line.rfind("other ", 0) == 0) {
            inTable = false;
            report.other = std::strtod(line.c_str() + 5, nullptr);
            continue;
        }
        if (inTable && line.size() > 12) {
            std::istringstream fields(line.substr(12));
            std::vector<std::string> values;
            for (std::string field; fields >> field;)
                values.push_back(field);
            std::string name = line.substr(0, 12);
            name.erase(name.find_last_not_of(' ') + 1);
            report.passes[name] = values;
        }
        std::sscanf(line.c_str(), "passes: GPU %*f ms, CPU %lf ms", &report.cpuTotal);
        std::sscanf(line.c_str(), "frame: median %lf ms, p95 %lf ms, mean %lf ms, %lf frames per second",
                    &report.median, &report.p95, &report.mean, &report.fps);
        std::sscanf(line.c_str(), "allocations: %*f per frame on average, at most %*u, in %d of %d frames",
                    &report.allocatingFrames, &report.timedFrames);
    }
    return report;
}

// Model and light sections of the shipped scene, counted as the viewer
// reads them.
struct SceneCounts {
    int models = 0;
    int lights = 0;
};

SceneCounts shippedSceneCounts()
{
    std::map<std::string, ConfigSection> sections;
    {
        const CoutCapture echo; // the reader echoes every line
        readConfigFile(sections, VELMORA_SOURCE_DIR "/assets/scene.txt");
    }
    SceneCounts counts;
    for (const auto& entry : sections) {
        counts.models += entry.second.kind == 0;
        counts.lights += entry.second.kind == 1;
    }
    return counts;
}

double number(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' ? value : NAN;
}

// A pass row: eight times, each a finite number >= 0 with median <= p95;
// the wall and work times are "-" when no frame was synchronised.
void expectTimedPass(const Report& report, const std::string& pass, bool synchronised)
{
    ASSERT_EQ(report.passes.count(pass), 1u) << pass;
    const std::vector<std::string>& values = report.passes.at(pass);
    ASSERT_EQ(values.size(), 8u) << pass;
    const std::size_t timed = synchronised ? 8 : 4;
    for (std::size_t i = 0; i < timed; ++i) {
        EXPECT_TRUE(std::isfinite(number(values[i]))) << pass << ": " << values[i];
        EXPECT_GE(number(values[i]), 0.0) << pass;
    }
    for (std::size_t i = timed; i < 8; ++i)
        EXPECT_EQ(values[i], "-") << pass;
    for (std::size_t i = 0; i < timed; i += 2)
        EXPECT_LE(number(values[i]), number(values[i + 1])) << pass << ": a median above its p95, column " << i;
}

// The frame's figures hang together: the passes run inside the timed frame,
// and the frame rate is the inverse of the mean frame time.
void expectSaneFrame(const Report& report)
{
    EXPECT_GT(report.median, 0.0);
    EXPECT_LE(report.median, report.p95);
    EXPECT_GT(report.mean, 0.0);
    EXPECT_NEAR(report.fps, 1000.0 / report.mean, 0.01 * report.fps + 0.01);
    // Printed with three decimals: allow their rounding.
    EXPECT_GE(report.other, -0.002);
    EXPECT_LE(report.cpuTotal, report.mean + 0.002);
}

} // namespace

TEST(BenchRun, PostProcessingOnTimesEveryPassAndWritesTheLastFrame)
{
    TempDir dir;
    const BenchResult run = runBench("--frames 4 --warmup 1 --png '" + dir.file("last.png") + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    const Report report = parseReport(run.output);
    EXPECT_NE(report.runLine.find("4 frames after 1 warm-up frames, and 4 with synchronised passes"),
              std::string::npos)
        << report.runLine;
    EXPECT_NE(report.runLine.find("post-processing on"), std::string::npos) << report.runLine;
    for (const std::string& pass : passNames)
        expectTimedPass(report, pass, true);
    expectSaneFrame(report);

    const SceneCounts scene = shippedSceneCounts();
    ASSERT_GT(scene.models, 0);
    EXPECT_EQ(report.models, scene.models);
    EXPECT_EQ(report.pointLights + report.spotLights, scene.lights);

    const Image frame = Image::load(dir.file("last.png"));
    ASSERT_EQ(frame.width, 1920);
    ASSERT_EQ(frame.height, 1080);
    // The opening view of the path shows the lit plaza below the night sky:
    // well over a third of the picture is brighter than 40 of 255. A black,
    // unlit or upside-down-unreadable frame has next to none; 0.15 leaves
    // room for any change of the scene's look.
    EXPECT_GT(frame.fractionBrighterThan(0, 540, 1920, 1080, 40.0f), 0.15);
    // The sky half is darker than the ground half: the image is not flipped.
    EXPECT_LT(frame.mean(0, 0, 1920, 200).x + frame.mean(0, 0, 1920, 200).y,
              frame.mean(0, 880, 1920, 1080).x + frame.mean(0, 880, 1920, 1080).y);
}

TEST(BenchRun, TheFrameLoopDoesNotAllocate)
{
    // Counted are all C++ heap allocations of the process. The driver's
    // shader compiler allocates thousands the first time a new combination
    // of GL state meets a program, which happens in a frame or two of the
    // opening path; a viewer that allocated on its own would show up in
    // every one of the 12 timed frames.
    const BenchResult run = runBench("--frames 6 --warmup 4");
    ASSERT_EQ(run.status, 0) << run.output;
    const Report report = parseReport(run.output);
    ASSERT_EQ(report.timedFrames, 12) << run.output;
    EXPECT_LE(report.allocatingFrames, 2);
}

TEST(BenchRun, PostProcessingOffSkipsTheCompositeAndUnsynchronisedRunsHaveNoWallTimes)
{
    const BenchResult run = runBench("--frames 3 --warmup 1 --postprocessing off --sync-passes off");
    ASSERT_EQ(run.status, 0) << run.output;
    const Report report = parseReport(run.output);
    EXPECT_NE(report.runLine.find("post-processing off"), std::string::npos) << report.runLine;
    EXPECT_NE(report.runLine.find("3 frames after 1 warm-up frames, and 0 with"), std::string::npos)
        << report.runLine;
    for (const std::string& pass : passNames) {
        if (pass == "composite")
            EXPECT_EQ(report.passes.at(pass), std::vector<std::string>(8, "-"));
        else
            expectTimedPass(report, pass, false);
    }
    expectSaneFrame(report);
}

TEST(BenchRun, StartPutsTheFrameAtThatPathTime)
{
    TempDir dir;
    const BenchResult early = runBench("--frames 1 --warmup 0 --sync-passes off --start 0 --png '" + dir.file("early.png") + "'");
    const BenchResult late = runBench("--frames 1 --warmup 0 --sync-passes off --start 20 --png '" + dir.file("late.png") + "'");
    ASSERT_EQ(early.status, 0) << early.output;
    ASSERT_EQ(late.status, 0) << late.output;
    EXPECT_NE(parseReport(late.output).runLine.find("path time 20.000 s to 20.000 s"), std::string::npos)
        << late.output;
    const Image a = Image::load(dir.file("early.png"));
    const Image b = Image::load(dir.file("late.png"));
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    // Twenty seconds into the tour the camera looks at another part of the
    // plaza: most pixels change by far more than noise. Two renders of one
    // moment would match to the last bit, so a 24-level tolerance and a
    // quarter of the picture tell the two apart with room to spare.
    EXPECT_GT(compareImages(a, b, 24).failingShare, 0.25);
}

TEST(BenchRun, ScaleMultipliesModelsAndLights)
{
    const BenchResult run = runBench("--frames 1 --warmup 0 --sync-passes off --scale 4");
    ASSERT_EQ(run.status, 0) << run.output;
    const Report report = parseReport(run.output);
    const SceneCounts scene = shippedSceneCounts();
    EXPECT_EQ(report.models, 4 * scene.models);
    EXPECT_EQ(report.pointLights + report.spotLights, 4 * scene.lights);
    EXPECT_NE(report.runLine.find("scale 4"), std::string::npos);
    expectSaneFrame(report);
}

TEST(BenchRun, HelpAndBadCommandLines)
{
    const BenchResult help = runBench("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--frames", "--warmup", "--dt", "--dir", "--postprocessing", "--png", "--start",
                               "--scale", "--sync-passes"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    EXPECT_EQ(help.output.find("velmora-bench results"), std::string::npos) << "help must not run the benchmark";

    const BenchResult bad = runBench("--frames 0");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.output.rfind("velmora-bench: bad value for --frames: '0'\n", 0), 0u) << bad.output;

    TempDir dir;
    const BenchResult missing = runBench("--dir '" + dir.file("nowhere") + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("velmora-bench: cannot enter"), std::string::npos) << missing.output;
}
