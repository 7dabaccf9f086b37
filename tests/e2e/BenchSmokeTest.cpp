// velmora-bench on the shipped scene, briefly: it draws the scene and prints
// a report whose figures hang together. Nothing here asserts a speed.
#include "ImageProbe.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

TEST(BenchSmoke, FourFramesGiveASaneReportAndALitPicture)
{
    TempDir dir;
    // On the current display, or a fresh Xvfb when there is none.
    const std::string command = "'" VELMORA_SOURCE_DIR "/scripts/with-display.sh' '" VELMORA_BENCH_BINARY "' --dir '" VELMORA_SOURCE_DIR
                                "' --frames 4 --warmup 1 --png '" + dir.file("last.png") + "' >'" + dir.file("out.txt") +
                                "' 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    const std::string output = dir.read("out.txt");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;

    double median = 0, p95 = 0, mean = 0, fps = 0;
    const std::size_t at = output.find("frame: median");
    ASSERT_NE(at, std::string::npos) << output;
    ASSERT_EQ(std::sscanf(output.c_str() + at, "frame: median %lf ms, p95 %lf ms, mean %lf ms, %lf frames per second",
                          &median, &p95, &mean, &fps), 4);
    EXPECT_GT(median, 0.0);
    EXPECT_LE(median, p95);
    EXPECT_NEAR(fps, 1000.0 / mean, 0.01 * fps + 0.01);
    EXPECT_NE(output.find(" spot lights"), std::string::npos) << "no scene line";

    // The opening view shows the lit plaza below the night sky: over 15 %
    // of the lower half brighter than 40 of 255, where a black or unlit
    // frame has next to none.
    const Image frame = Image::load(dir.file("last.png"));
    ASSERT_EQ(frame.width, 1920);
    EXPECT_GT(frame.fractionBrighterThan(0, 540, 1920, 1080, 40.0f), 0.15);
}
