// The real velmora binary on its own Xvfb display, driven like a user
// would: one run through every binding, and one run per broken input.
#include "ObjText.h"
#include "TempDir.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

namespace fs = std::filesystem;

// Every step polls the screen or the console for its effect, up to this
// long: frames are slow on a loaded machine with sanitizers.
constexpr double limit = 60.0;

// Share of pixels of a rectangle (x0, y0, x1, y1) where a channel moved by
// more than 24 of 255: above the flicker of the particles, the only thing
// that moves while the camera stands still.
const glm::ivec4 whole(0, 0, 1920, 1080);
double changed(const Image& a, const Image& b, const glm::ivec4& r = whole)
{
    return compareImages(a, b, 24, r.x, r.y, r.z, r.w).failingShare;
}

// A checkered backdrop with a glass ball in front of it at the window's
// centre; the eye glides from z = 12 towards it over 40 seconds, looking
// straight at the ball, so the picture keeps changing.
void writeScene(const TempDir& dir)
{
    writeBackdropScene(
        dir, [](int x, int y) { return glm::u8vec3((x / 8 + y / 8) % 2 ? 230 : 20, 120, 60); }, 12.0f, 8.0f,
        glm::vec3(0, 2, 0),
        "$ spot 1\ntype 0 1\nposition 0 0,8,0\ndirection 0 0,-1,-0.3\ncolor 0 1,1,1\ninnerRadius 0 30\nouterRadius 0 40\n",
        glm::vec3(0, 2, 12), glm::vec3(0, 2, 4), 40);
}

TEST(ViewerRun, EveryBindingActsOnTheRealWindowAndEscapeEndsWithZero)
{
    TempDir dir;
    writeScene(dir);
    XSession x;
    ASSERT_TRUE(x.ok() && x.launch(dir.path()));
    ASSERT_TRUE(x.waitForWindow(limit)) << "no window titled Velmora: " << x.output() << x.errors();

    // Polls until `r` has changed on more than `share` of its pixels since
    // `before`, and returns that shot.
    const auto changedShot = [&](const Image& before, const glm::ivec4& r, double share, const char* what) {
        const Image shot = x.screenshotUntil([&](const Image& s) { return changed(before, s, r) > share; }, limit);
        EXPECT_GT(changed(before, shot, r), share) << what;
        keepImage(shot, what);
        return shot;
    };
    const Image first = x.screenshotUntil([](const Image& shot) { return shot.mean(0, 0, 1920, 1080).r > 10.0f; }, limit);
    changedShot(first, whole, 0.2, "path playback");

    // Space: free flight holds the camera; two shots a second apart agree.
    x.key("space");
    Image held;
    x.screenshotUntil([&](const Image& shot) { return XSession::pause(1.0), changed(shot, held = x.screenshot()) < 0.05; }, limit);
    EXPECT_LT(changed(x.screenshot(), held), 0.05) << "Space does not stop the camera";

    // F4: without post-processing the ball at the centre no longer bends the
    // checker; the right edge (away from the fountain) stays as it was.
    x.key("F4");
    const Image plain = changedShot(held, {900, 480, 1020, 600}, 0.2, "F4");
    EXPECT_LT(changed(held, plain, {1620, 0, 1920, 1080}), 0.01) << "F4 changed more than the glass";
    x.key("F4");
    // F3: the shadow map's debug view covers the upper right quarter only.
    x.key("F3");
    const Image debug = changedShot(held, {960, 0, 1920, 540}, 0.5, "F3");
    EXPECT_LT(changed(held, debug, {960, 540, 1920, 1080}), 0.01) << "F3 changed the lower right quarter";
    // F12 saves the frame into the working directory and names it.
    x.key("F12");
    EXPECT_TRUE(x.waitForOutput("Saved screenshot velmora-0001.png\n", limit)) << x.output();
    EXPECT_EQ(Image::load(dir.file("velmora-0001.png")).width, 1920);
    // The mouse turns the view in free flight: 600 pixels at 0.3 degrees, in
    // six moves, since the first cursor event the viewer sees turns nothing.
    for (int step = 0; step < 6; ++step)
        x.moveMouse(100, 0);
    changedShot(debug, {0, 540, 960, 1080}, 0.3, "mouse");

    x.key("BackSpace");
    EXPECT_TRUE(x.waitForOutput("Resetting animation\n", limit)) << x.output();
    EXPECT_EQ(x.waitExit(limit, "Escape"), 0) << x.errors();
}

// One broken input: what is done to a laid-out repository, the line the
// viewer must print (on stdout, or stderr for malformed numbers and imports)
// and its exit status. A run that keeps going is ended with Escape.
struct BrokenInput {
    const char* name;
    std::function<void(const TempDir&)> damage;
    std::string line;
    bool onStderr;
    int status;
};

void PrintTo(const BrokenInput& input, std::ostream* out) { *out << input.name; }

std::vector<BrokenInput> brokenInputs()
{
    return {
        {"MissingShader", [](const TempDir& d) { fs::remove(d.file("shader/skybox.frag")); },
         "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ\n", false, 0},
        {"ShaderThatDoesNotCompile",
         [](const TempDir& d) { d.write("shader/skybox.frag", d.read("shader/skybox.frag") + "\nnot glsl;\n"); },
         "ERROR::SHADER::COMPILATION_FAILED shader/skybox.frag\n", false, 0},
        {"NoSceneFile", [](const TempDir& d) { fs::remove(d.file("assets/scene.txt")); }, "Unable to open file", false, 0},
        {"NoPathFile", [](const TempDir& d) { fs::remove(d.file("assets/animationpath.txt")); }, "Unable to open file", false, 0},
        {"MissingSkyFace", [](const TempDir& d) { fs::remove(d.file("assets/skybox/mnight/mnight_dn.tga")); },
         "Failed to load cubemap texture assets/skybox/mnight/mnight_dn.tga\n", false, 0},
        {"FileThatIsNotAModel",
         [](const TempDir& d) {
             d.write("notes.obj", "These are notes, not a model.\n");
             d.write("assets/scene.txt", "$ notes 0\npath 0 notes.obj\n");
         },
         "ERROR::ASSIMP:: ", true, 0},
        {"MalformedNumber", [](const TempDir& d) { d.write("assets/scene.txt", "$ lamp 1\ntype 0 x\n"); },
         "velmora: assets/scene.txt: section 'lamp' key 'type': 'x' is not a number\n", true, 1},
    };
}

class BrokenInputRun : public testing::TestWithParam<BrokenInput> {};

TEST_P(BrokenInputRun, PrintsItsLineAndEndsWithItsStatus)
{
    TempDir dir;
    dir.layOutRepository();
    GetParam().damage(dir);
    XSession x;
    ASSERT_TRUE(x.ok() && x.launch(dir.path()));
    // Escape is polled once per frame: the exit shows the frame loop kept
    // running.
    if (GetParam().status == 0) {
        ASSERT_TRUE(x.waitForWindow(limit)) << x.output() << x.errors();
    }
    EXPECT_EQ(x.waitExit(limit, GetParam().status == 0 ? "Escape" : ""), GetParam().status) << x.errors();
    const std::string console = GetParam().onStderr ? x.errors() : x.output();
    EXPECT_NE(console.find(GetParam().line), std::string::npos) << console;
}

INSTANTIATE_TEST_SUITE_P(Table, BrokenInputRun, testing::ValuesIn(brokenInputs()),
                         [](const testing::TestParamInfo<BrokenInput>& info) { return info.param.name; });

} // namespace
