#include "TempDir.h"
#include "XSession.h"

#include <gtest/gtest.h>

// The camera of the real binary on the shipped scene, driven by keys and the
// mouse. Post-processing is switched off first (F4) so frames come quickly;
// what is checked here does not depend on the composite.
namespace {

// A pixel counts as changed when a channel moves by more than 12 of 255:
// above the frame-to-frame flicker of particles and turning models, which
// cover only a small part of the screen.
constexpr int changedLevel = 12;

double changedShare(const Image& a, const Image& b) { return compareImages(a, b, changedLevel).failingShare; }

} // namespace

// The eye glides 12 units sideways over 12 seconds, then holds still for
// good, looking at the middle of the shipped scene throughout. Holding makes
// the "back onto the path" check independent of the frame rate.
const char* glideThenHold = "$path eye1 10\ndegree 0 1\nduration 0 12\ntransfer 0 0\n"
                            "position0 0 -12,4,-14\nposition1 0 0,4,-14\n"
                            "$path eye2 10\ndegree 0 0\nduration 0 100000\ntransfer 0 0\nposition0 0 0,4,-14\n"
                            "$path look 11\ndegree 0 0\nduration 0 100000\ntransfer 0 0\nposition0 0 0,1,2\n";

TEST(CameraEndToEnd, PathPlaysFreeFlightTurnsAndSpaceReturnsToThePath)
{
    TempDir dir;
    dir.layOutRepository();
    dir.write("assets/animationpath.txt", glideThenHold);
    XSession x;
    ASSERT_TRUE(x.ok());
    ASSERT_TRUE(x.launch(dir.path()));
    ASSERT_TRUE(x.waitForWindow()) << x.errors();
    x.key("F4");

    // Frames may be slow on a loaded machine, so every step waits for the
    // screen to show its effect (up to 30 s) instead of sleeping a fixed time.
    constexpr double limit = 30.0;
    // Two shots a second apart that agree: the camera stands still (only
    // particles and the turning models still change).
    auto steadyShot = [&](Image& last) {
        return x.screenshotUntil(
            [&](const Image& shot) {
                XSession::pause(1.0);
                last = x.screenshot();
                return changedShare(shot, last) < 0.05;
            },
            limit);
    };

    // While the eye glides the view keeps changing.
    const Image first = x.screenshot();
    const Image later = x.screenshotUntil([&](const Image& shot) { return changedShare(first, shot) > 0.1; }, limit);
    EXPECT_GT(changedShare(first, later), 0.1) << "the path does not move the camera";

    // Once the eye holds, Space switches to free flight at that point, with
    // the view it had: the steady view in free flight is the held one.
    Image held;
    steadyShot(held);
    x.key("space");
    Image stopped;
    const Image steady = steadyShot(stopped);
    EXPECT_LT(changedShare(steady, stopped), 0.05) << "free flight must hold the camera";
    EXPECT_LT(changedShare(held, stopped), 0.05) << "free flight must start where the path held the camera";

    // Mouse motion turns the view: 600 pixels at 0.3 degrees each is a
    // half turn.
    x.moveMouse(600, 0);
    const Image turned = x.screenshotUntil([&](const Image& shot) { return changedShare(stopped, shot) > 0.3; }, limit);
    EXPECT_GT(changedShare(stopped, turned), 0.3) << "mouse motion does not turn the view";

    // Space again: playback resumes and puts the camera back on the path,
    // which is holding: the view is the one before the turn.
    x.key("space");
    const Image resumed = x.screenshotUntil([&](const Image& shot) { return changedShare(turned, shot) > 0.3; }, limit);
    EXPECT_LT(changedShare(stopped, resumed), 0.05) << "the camera did not return onto the path";

    x.key("BackSpace");
    XSession::pause(1.0);
    x.key("BackSpace");
    XSession::pause(1.0);
    x.key("Escape");
    EXPECT_EQ(x.waitExit(20.0), 0) << x.errors();
    const std::string out = x.output();
    size_t resets = 0;
    for (size_t at = out.find("Resetting animation\n"); at != std::string::npos;
         at = out.find("Resetting animation\n", at + 1))
        ++resets;
    EXPECT_EQ(resets, 2u) << "each Backspace press prints one line";
}
