// The real binary on a copy of the repository with a resource missing or
// broken. Whatever is wrong, the viewer reports it in its one line, keeps
// rendering (its frame loop still answers the keyboard and the window shows
// a picture) and ends with status 0 on Escape.
#include "StillCamera.h"
#include "TempDir.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    bool windowShown = false;
    bool answersKeys = false; // Backspace came back as "Resetting animation"
    Image first;
    Image second; // one second after `first`, when asked for
    int status = -1;
    std::string out;
    std::string errors;
};

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Lays out the repository in a scratch folder, lets `damage` break it, runs
// the viewer there and drives it: Backspace, a screenshot (and with
// `secondShot` another one a second later), then Escape held until the
// viewer has gone.
Outcome runDamaged(const std::function<void(const TempDir&)>& damage, bool secondShot = false)
{
    TempDir dir;
    dir.layOutRepository();
    damage(dir);

    Outcome outcome;
    XSession x;
    if (!x.ok() || !x.launch(dir.path()))
        return outcome;
    outcome.windowShown = x.waitForWindow();
    if (outcome.windowShown) {
        // The key callback runs inside the frame loop's event poll, so the
        // line comes back only while frames are being rendered.
        x.key("BackSpace");
        for (int i = 0; i < 100 && !outcome.answersKeys; ++i) {
            XSession::pause(0.2);
            outcome.answersKeys = x.output().find("Resetting animation") != std::string::npos;
        }
        outcome.first = x.screenshot();
        if (secondShot) {
            XSession::pause(1.0);
            outcome.second = x.screenshot();
        }
        // Escape is polled once per frame: hold it until the viewer has seen it.
        x.x("xdotool keydown Escape");
        outcome.status = x.waitExit(60.0);
        x.x("xdotool keyup Escape");
    } else {
        outcome.status = x.waitExit(1.0);
    }
    outcome.out = x.output();
    outcome.errors = x.errors();
    return outcome;
}

// The common verdict: the window came up, the loop went on, something was
// drawn and Escape ended the run with status 0.
void expectKeptRendering(const Outcome& run)
{
    ASSERT_TRUE(run.windowShown) << "status " << run.status << "\n" << run.out << run.errors;
    EXPECT_TRUE(run.answersKeys) << "the frame loop stopped answering the keyboard";
    ASSERT_EQ(run.first.width, 1920);
    // Even with a whole program or the scene gone, the sky, the particles or
    // the models cover a good part of the window. The night sky's darkest
    // texel is 6 of 255 and the clear colour 0, so level 3 separates drawn
    // from cleared pixels; a tenth of the window is far below what any of
    // them covers.
    EXPECT_GT(run.first.fractionBrighterThan(0, 0, 1920, 1080, 3.0f), 0.1) << "the window is black";
    EXPECT_EQ(run.status, 0) << run.errors;
}

void expectNoGlErrors(const Outcome& run)
{
    EXPECT_EQ(count(run.out, "OpenGL Error"), 0) << run.out;
    EXPECT_EQ(count(run.out, "ERROR::SHADER"), 0) << run.out;
}

// Lines of a section file.
std::string lines(const std::vector<std::string>& all)
{
    std::string text;
    for (const std::string& line : all)
        text += line + "\n";
    return text;
}

} // namespace

TEST(BrokenResources, NoSceneFileShowsAnEmptySceneUnderTheSky)
{
    const Outcome run = runDamaged([](const TempDir& dir) { dir.remove("assets/scene.txt"); });
    expectKeptRendering(run);
    expectNoGlErrors(run);
    EXPECT_EQ(count(run.out, "Unable to open file"), 1) << run.out;
    EXPECT_EQ(count(run.errors, "ERROR::ASSIMP"), 0) << run.errors;
}

TEST(BrokenResources, EmptySceneFileReportsItsNamelessModelAndShowsTheSky)
{
    // An empty file is one section of kind 0, named "", without a path: a
    // model section whose import fails.
    const Outcome run = runDamaged([](const TempDir& dir) { dir.write("assets/scene.txt", ""); });
    expectKeptRendering(run);
    expectNoGlErrors(run);
    EXPECT_EQ(count(run.errors, "ERROR::ASSIMP:: "), 1) << run.errors;
}

// Three independent faults in one run, each with its own line: no path
// file, a texture file gone, and two model files that are not models (an
// image named as a model, and prose in an .obj file).
TEST(BrokenResources, MissingPathFileTextureAndNonModelFilesAreEachReportedAndTheRestIsShown)
{
    const Outcome run = runDamaged([](const TempDir& dir) {
        dir.remove("assets/animationpath.txt");
        dir.remove("assets/models/textures/crate.png");
        dir.write("assets/models/notes.obj", "These are notes about the crates, not a model.\n"
                                             "Vertices would start with v, faces with f.\n");
        dir.write("assets/scene.txt", dir.read("assets/scene.txt") +
                                          lines({"$ zz_image_as_model 0", "path 0 assets/models/textures/grass.png",
                                                 "$ zz_prose_as_model 0", "path 0 assets/models/notes.obj"}));
    });
    expectKeptRendering(run);
    expectNoGlErrors(run);
    EXPECT_EQ(count(run.out, "Unable to open file"), 1) << run.out;
    // Every crate names the texture, and there is no texture cache.
    EXPECT_GE(count(run.out, "Failed to load texture assets/models/textures/crate.png\n"), 1) << run.out;
    EXPECT_EQ(count(run.errors, "ERROR::ASSIMP:: "), 2) << run.errors;
    EXPECT_EQ(count(run.errors, "\n"), 2) << "one line per failed import: " << run.errors;
    // The prose file imports as an empty scene without an error text of its
    // own: its line must name it, not repeat the image's reason.
    EXPECT_NE(run.errors.find("assets/models/notes.obj"), std::string::npos) << run.errors;
}

TEST(BrokenResources, MissingSkyFaceIsReportedAndTheOtherFacesStillShow)
{
    const Outcome run = runDamaged([](const TempDir& dir) {
        dir.remove("assets/skybox/mnight/mnight_dn.tga");
        // Looking up and away from the scene: the window shows the upper
        // and side faces of the sky, none of the missing lower one.
        StillCamera(glm::vec3(0.0f, 2.0f, -40.0f), glm::vec3(0.0f, 40.0f, -80.0f)).writePath(dir);
    });
    expectKeptRendering(run);
    expectNoGlErrors(run);
    EXPECT_EQ(count(run.out, "Failed to load cubemap texture assets/skybox/mnight/mnight_dn.tga\n"), 1) << run.out;
    // One missing face must not black out the other five: most of the
    // window is the night sky (no texel darker than 6 of 255, where a
    // cleared or unsampled sky is 0).
    EXPECT_GT(run.first.fractionBrighterThan(0, 0, 1920, 1080, 3.0f), 0.8) << "the sky is black";
}

TEST(BrokenResources, ShaderWithASyntaxErrorIsReportedWithItsLogAndTheFramesGoOn)
{
    const Outcome run = runDamaged([](const TempDir& dir) {
        const std::string source = dir.read("shader/simpletextured.frag");
        // Drop the semicolon after the first statement of main.
        std::string broken = source;
        const std::size_t body = broken.find('{', broken.find("void main"));
        const std::size_t semicolon = broken.find(';', body);
        ASSERT_NE(semicolon, std::string::npos);
        broken.erase(semicolon, 1);
        dir.write("shader/simpletextured.frag", broken);
    });
    expectKeptRendering(run);
    EXPECT_EQ(count(run.out, "ERROR::SHADER::COMPILATION_FAILED shader/simpletextured.frag\n"), 1) << run.out;
    EXPECT_EQ(count(run.out, "ERROR::SHADER::COMPILATION_FAILED"), 1) << run.out;
}

TEST(BrokenResources, HundredModelsAndSixtyFourLightsRenderWithoutGlErrors)
{
    const Outcome run = runDamaged([](const TempDir& dir) {
        std::ostringstream scene;
        scene << "$ ambient 2\nambientStrength 0 0.15\nambientColor 0 1,1,1\n";
        // 48 point and 16 spot lights: more than the lit program's arrays
        // hold, which must cost nothing but the extra lights.
        for (int i = 0; i < 64; ++i) {
            const int gx = i % 8;
            const int gz = i / 8;
            scene << "$ light" << (i < 10 ? "0" : "") << i << " 1\n"
                  << "type 0 " << (i < 48 ? 0 : 1) << "\n"
                  << "position 0 " << gx * 3 - 10 << ",4," << gz * 3 - 10 << "\n"
                  << "direction 0 0,-1,0\n"
                  << "color 0 " << (i % 3 == 0) << "," << (i % 3 == 1) << "," << (i % 3 == 2) << "\n"
                  << "innerRadius 0 20\nouterRadius 0 30\n";
        }
        // A 10 x 10 grid of crates, every tenth one glass.
        for (int i = 0; i < 100; ++i) {
            scene << "$ model" << (i < 10 ? "0" : "") << i << " 0\n"
                  << "path 0 assets/models/crate.obj\n"
                  << "position 0 " << (i % 10) * 2 - 9 << ",0," << (i / 10) * 2 - 9 << "\n"
                  << "axis 0 0,1,0\nspeed 0 " << i << "\n";
            if (i % 10 == 5)
                scene << "transparency 0 0.5\nrefraction 0 1.1\nreflection 0 0.2\n";
        }
        dir.write("assets/scene.txt", scene.str());
        // Looking down on the grid from one side.
        StillCamera(glm::vec3(0.0f, 14.0f, -22.0f), glm::vec3(0.0f)).writePath(dir);
    });
    expectKeptRendering(run);
    expectNoGlErrors(run);
    EXPECT_EQ(run.errors, "");
    // The grid fills the middle of the window: lit crates, not sky.
    EXPECT_GT(run.first.fractionBrighterThan(660, 440, 1260, 640, 40.0f), 0.5);
}

TEST(BrokenResources, PathOfDegreeTwentyFliesASmoothCurve)
{
    const Outcome run = runDamaged([](const TempDir& dir) {
        // Twenty-one control points on a circle of radius 20 around the
        // scene, looked at from 5 units up: a closed loop of 30 seconds.
        std::vector<std::string> path = {"$path eye 10", "degree 0 20", "duration 1 30", "transfer 0 0"};
        for (int i = 0; i <= 20; ++i) {
            const double angle = i * 2.0 * 3.14159265358979 / 20.0;
            std::ostringstream point;
            point << "position" << i << " 3 " << 20.0 * std::cos(angle) << ",5," << 20.0 * std::sin(angle);
            path.push_back(point.str());
        }
        for (const char* line : {"$path look 11", "degree 0 0", "duration 1 30", "transfer 0 0", "position0 0 0,1,0"})
            path.push_back(line);
        dir.write("assets/animationpath.txt", lines(path));
    }, true);
    expectKeptRendering(run);
    expectNoGlErrors(run);
    // The curve stays around the scene: the middle of the window shows the
    // lit floor and pedestal (about eight in ten pixels above 60 of 255), where a
    // curve thrown off by overflowing coefficients shows the sky (about 20).
    EXPECT_GT(run.first.fractionBrighterThan(760, 440, 1160, 640, 60.0f), 0.5) << "the scene is out of view";
    // The camera moves along the curve: a second later, about 3 units
    // further on, most pixels have changed by more than 24 of 255 (a level
    // above the particles' flicker on a still picture). A still camera
    // changes only the particles and the turning knot, a few per cent.
    ASSERT_EQ(run.second.width, 1920);
    const ImageDifference change = compareImages(run.first, run.second, 24);
    EXPECT_GT(change.failingShare, 0.1) << "the camera does not move";
}

class MissingShaderFile : public testing::TestWithParam<std::string> {};

TEST_P(MissingShaderFile, IsReportedAndTheOtherPassesGoOn)
{
    const std::string file = GetParam();
    const Outcome run = runDamaged([&file](const TempDir& dir) { dir.remove("shader/" + file); });
    expectKeptRendering(run);
    EXPECT_EQ(count(run.out, "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ\n"), 1) << run.out;
    EXPECT_EQ(count(run.out, "ERROR::SHADER::COMPILATION_FAILED"), 0) << run.out;
}

INSTANTIATE_TEST_SUITE_P(BrokenResources, MissingShaderFile,
                         testing::Values("simpletextured.vert", "simpletextured.frag", "skybox.vert", "skybox.frag",
                                         "particles.comp", "particles.vert", "particles.geom", "particles.frag",
                                         "shadowmap.vert", "shadowmap.frag", "depthdbg.vert", "depthdbg.frag",
                                         "postprocessing.vert", "postprocessing.frag", "testquad.vert",
                                         "testquad.frag", "normal.vert", "normal.frag", "rrTest.vert",
                                         "rrTest.frag"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             name[name.find('.')] = '_';
                             return name;
                         });
