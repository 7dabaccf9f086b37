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

TEST(CameraEndToEnd, PathPlaysFreeFlightTurnsAndSpaceReturnsToThePath)
{
    TempDir dir;
    dir.layOutRepository();
    XSession x;
    ASSERT_TRUE(x.ok());
    ASSERT_TRUE(x.launch(dir.path()));
    ASSERT_TRUE(x.waitForWindow()) << x.errors();
    x.key("F4");

    // Frames may be slow on a loaded machine, so every step waits for the
    // screen to show its effect (up to 30 s) instead of sleeping a fixed time.
    auto shotUntil = [&x](auto&& done) {
        Image shot = x.screenshot();
        for (int tries = 0; tries < 60 && !done(shot); ++tries) {
            XSession::pause(0.5);
            shot = x.screenshot();
        }
        return shot;
    };

    // While the path plays the view keeps changing: the camera flies at
    // several units a second, so most of the screen changes.
    const Image first = x.screenshot();
    const Image later = shotUntil([&](const Image& shot) { return changedShare(first, shot) > 0.2; });
    EXPECT_GT(changedShare(first, later), 0.2) << "the path does not move the camera";

    // Space: free flight. The camera stands still; only particles and the
    // turning models still change, so two shots a second apart agree.
    x.key("space");
    Image stopped = x.screenshot();
    const Image still = shotUntil([&](const Image& shot) {
        XSession::pause(1.0);
        const Image next = x.screenshot();
        const bool steady = changedShare(shot, next) < 0.05;
        stopped = next;
        return steady;
    });
    EXPECT_LT(changedShare(still, stopped), 0.05) << "free flight must hold the camera";

    // Mouse motion turns the view: 600 pixels at 0.3 degrees each is a
    // half turn.
    x.moveMouse(600, 0);
    const Image turned = shotUntil([&](const Image& shot) { return changedShare(stopped, shot) > 0.3; });
    const double turnedShare = changedShare(stopped, turned);
    EXPECT_GT(turnedShare, 0.3) << "mouse motion does not turn the view";

    // Space again: playback resumes from the moment it stopped, so the
    // first frame drawn after it shows the view on the path again: close to
    // the view before the turn, far from the turned one.
    x.key("space");
    const Image resumed = shotUntil([&](const Image& shot) { return changedShare(turned, shot) > 0.1; });
    EXPECT_LT(changedShare(stopped, resumed), turnedShare * 0.5) << "the camera did not return onto the path";

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
