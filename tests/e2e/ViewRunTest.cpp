// The real velmora-view binary on its own Xvfb display: a model file the
// test writes, shown framed and orbiting, kept with F12 and --png; files it
// cannot read.
#include "ObjText.h"
#include "TempDir.h"
#include "XSession.h"

#include <gtest/gtest.h>

namespace {

// Every step polls for its effect up to this long (sanitizers, a loaded
// machine).
constexpr double limit = 60.0;

// The test's model: a red box 4 x 1 x 1, long in x.
void writeBox(const TempDir& dir)
{
    dir.write("box.mtl", "newmtl red\nKd 0.8 0.1 0.08\n");
    dir.write("box.obj", "mtllib box.mtl\nusemtl red\n" + boxObj(glm::vec3(2.0f, 0.5f, 0.5f)));
    dir.write("notes.obj", "These are notes, not a model.\n");
}

// The box's red, lit: the grey ground, the night sky and the box's own
// shadowed sides under ambient light only (red about 60) all fail.
bool lit(const glm::vec3& c) { return c.r > 110.0f && c.r > c.g + 60.0f && c.r > c.b + 60.0f; }
bool red(const glm::vec3& c) { return c.r > c.g + 25.0f && c.r > c.b + 25.0f; }

double changed(const Image& a, const Image& b) { return compareImages(a, b, 24).failingShare; }

TEST(ViewRun, OrbitsTheCentredLitModelAndF12SavesThePresentedFrame)
{
    TempDir dir;
    writeBox(dir);
    XSession x;
    ASSERT_TRUE(x.ok() && x.launch(dir.path(), VELMORA_VIEW_BINARY, {"box.obj"}));
    ASSERT_TRUE(x.waitForWindow(limit)) << x.output() << x.errors();

    // Centred and lit: the middle of the window is the box's lit red, the
    // bottom edge's middle the ground, the top edge the sky.
    const Image first = x.screenshotUntil([](const Image& s) { return lit(s.mean(940, 520, 980, 560)); }, limit);
    keepImage(first, "first");
    EXPECT_TRUE(lit(first.mean(940, 520, 980, 560))) << "no lit model at the centre";
    const glm::vec3 ground = first.mean(900, 1040, 1020, 1080);
    EXPECT_TRUE(ground.r > 30.0f && std::abs(ground.r - ground.b) < 20.0f) << "no grey ground below";
    EXPECT_LT(first.mean(0, 0, 1920, 20).r, 40.0f) << "no night sky above";

    // The orbit: over a tenth of the picture changes; the box stays centred.
    const Image later = x.screenshotUntil([&](const Image& s) { return changed(first, s) > 0.1; }, limit);
    EXPECT_GT(changed(first, later), 0.1) << "the camera does not orbit";
    EXPECT_TRUE(lit(later.mean(940, 520, 980, 560)));

    // Space holds the camera; nothing else moves (no particles): two shots a
    // second apart are the same.
    x.key("space");
    Image held;
    x.screenshotUntil([&](const Image& s) { return XSession::pause(1.0), changed(s, held = x.screenshot()) == 0.0; }, limit);

    // F12: the PNG is the presented frame, which the still window shows.
    // Both are the same 8-bit pixels: no channel may differ by more than 1,
    // and no pixel at all beyond that.
    x.key("F12");
    const std::string line = "Saved screenshot " + dir.file("velmora-0001.png") + "\n";
    EXPECT_TRUE(x.waitForOutput(line, limit)) << x.output();
    const Image saved = Image::load(dir.file("velmora-0001.png"));
    ASSERT_EQ(saved.width, 1920);
    ASSERT_EQ(saved.height, 1080);
    const ImageDifference difference = compareImages(saved, x.screenshot(), 1);
    EXPECT_EQ(difference.failingShare, 0.0) << "largest difference " << difference.largest;
    EXPECT_EQ(x.waitExit(limit, "Escape"), 0) << x.errors();
}

TEST(ViewRun, PngWritesTheFirstFrameAndExitsZeroShowingTheFilesItCouldRead)
{
    TempDir dir;
    writeBox(dir);
    XSession x;
    ASSERT_TRUE(x.ok() && x.launch(dir.path(), VELMORA_VIEW_BINARY,
                                   {"notes.obj", "box.obj", "missing.obj", "--png", "out.png", "--rotation", "0,0,90"}));
    EXPECT_EQ(x.waitExit(limit), 0) << x.errors();
    EXPECT_NE(x.errors().find("velmora-view: cannot read missing.obj: No such file or directory\n"), std::string::npos)
        << x.errors();
    EXPECT_NE(x.errors().find("ERROR::ASSIMP:: "), std::string::npos) << x.errors();

    const Image png = Image::load(dir.file("out.png"));
    ASSERT_EQ(png.width, 1920) << "no PNG";
    keepImage(png, "png");
    // Turned 90 degrees about z the box stands as a column 1 wide and 4
    // high, filling the window's height: red at the centre, near the top and
    // near the bottom; none well left or right of it.
    for (int y : {540, 200, 880})
        EXPECT_TRUE(red(png.mean(950, y - 10, 970, y + 10))) << "no column at y " << y;
    EXPECT_TRUE(lit(png.mean(940, 520, 980, 560))) << "the column is not lit";
    for (int x0 : {400, 1500})
        EXPECT_FALSE(red(png.mean(x0, 530, x0 + 20, 550))) << "the box lies flat at x " << x0;
}

TEST(ViewRun, NoFileThatCanBeShownExitsOneWithALinePerFile)
{
    TempDir dir;
    writeBox(dir);
    XSession x;
    ASSERT_TRUE(x.ok() && x.launch(dir.path(), VELMORA_VIEW_BINARY, {"missing.obj", "notes.obj"}));
    EXPECT_EQ(x.waitExit(limit), 1);
    EXPECT_NE(x.errors().find("velmora-view: no file gave a model to show\n"), std::string::npos) << x.errors();
}

} // namespace
