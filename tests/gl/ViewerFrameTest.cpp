// The viewer's own start-up and frame loop in process, on a small window:
// what only the whole frame shows, then 600 frames with every binding used
// and not one OpenGL error.
#include "GlContext.h"
#include "ObjText.h"
#include "TempDir.h"

#include "app/Globals.h"
#include "app/InputCallbacks.h"
#include "app/Viewer.h"
#include "camera/Camera.h"
#include "render/Model.h"
#include "scene/ConfigSection.h"

#include <GLFW/glfw3.h>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <unistd.h>

namespace {

constexpr int width = 320, height = 180;
const glm::vec3 eye(0, 2, 14), lookedAt(0, 2, 0);
// The shipped glass ball (radius 1.2) twice: clear, and nearly opaque.
const glm::vec3 glassCentre(2, 2, 0), tintedCentre(-2, 2, 0);
const glm::u8vec3 skyColour(90, 20, 140);
// The emitters, moved by the scene file from (-6, 1, 2) and (5, 25, 5).
const glm::vec3 fountainPoint(6, 1, 2), burstPoint(-4, 6, 0);
const glm::vec3 panePoint(0, 6.5f, 0);

// The backdrop (texel (x, y) is red 4x, green 4y, blue 60) with two glass
// balls in front of it (the second with transparency 0.1 and a blue texture
// of its own), a red pane of opacity 0.5 above it with only sky behind, a
// spot light, one sky colour on every face and a camera that holds still;
// the emitters moved to fountainPoint and burstPoint.
void writeScene(const TempDir& dir)
{
    writeBackdropScene(
        dir, [](int x, int y) { return glm::u8vec3(4 * x, 4 * y, 60); }, 6.0f, 3.0f, glassCentre,
        "$ spot 1\ntype 0 1\nposition 0 2,8,2\ndirection 0 0,-1,0\ncolor 0 1,1,1\ninnerRadius 0 20\nouterRadius 0 30\n"
        "$ tinted 0\npath 0 tinted.obj\nposition 0 " + commaList(tintedCentre) + "\ntransparency 0 0.1\nrefraction 0 0.66\n"
        "$ pane 0\npath 0 pane.obj\n"
        "$ zz_ambient 2\nambientStrength 0 1\nambientColor 0 1,1,1\nfountain 0 " + commaList(fountainPoint) +
            "\nburst 0 " + commaList(burstPoint) + "\n",
        eye, eye, 1000);
    std::string ball = dir.read("assets/models/glass_sphere.obj");
    ball.replace(ball.find("glass_sphere.mtl"), 16, "tinted.mtl");
    dir.write("tinted.obj", ball);
    std::string material = dir.read("assets/models/glass_sphere.mtl");
    material.replace(material.find("textures/glass_clear.png"), 24, "blue.png");
    dir.write("tinted.mtl", material);
    // Facing the camera (+z), 1 x 1 about panePoint.
    std::ostringstream pane;
    int next = 1;
    pane << "mtllib pane.mtl\nusemtl pane\n";
    appendQuad(pane, next, panePoint, glm::vec3(1, 0, 0), glm::vec3(0, 1, 0), 0.5f, 0.5f);
    dir.write("pane.obj", pane.str());
    dir.write("pane.mtl", "newmtl pane\nKd 1 0 0\nd 0.5\n");
    const unsigned char blue[3] = {0, 0, 255};
    stbi_write_png(dir.file("blue.png").c_str(), 1, 1, 3, blue, 3);
    for (const char* face : {"ft", "bk", "up", "dn", "rt", "lf"}) {
        const std::vector<glm::u8vec3> pixels(16, skyColour);
        stbi_write_tga(dir.file(std::string("assets/skybox/mnight/mnight_") + face + ".tga").c_str(), 4, 4, 3, pixels.data());
    }
}

// Window pixel (y down) of a world point seen from the still camera.
glm::ivec2 pixelOf(const glm::vec3& world)
{
    const glm::vec3 w = glm::project(world, glm::lookAt(eye, lookedAt, glm::vec3(0, 1, 0)),
                                     Viewer::makeProjection(width, height), glm::vec4(0, 0, width, height));
    return {static_cast<int>(w.x), height - 1 - static_cast<int>(w.y)};
}

void press(GLFWwindow* window, int key) { keyCallback(window, key, 0, GLFW_PRESS, 0); }

// What the user does before frame `frame` of the hygiene run: each toggle
// state (debug view, post-processing, playback and free flight) lasts many
// frames, alone and in combination.
void actBefore(int frame, GLFWwindow* window)
{
    const int keys[][2] = {{40, GLFW_KEY_F3},  {100, GLFW_KEY_F4},         {160, GLFW_KEY_F3},
                           {220, GLFW_KEY_F4}, {250, GLFW_KEY_SPACE},      {330, GLFW_KEY_BACKSPACE},
                           {400, GLFW_KEY_SPACE}, {450, GLFW_KEY_F4},      {450, GLFW_KEY_F3},
                           {500, GLFW_KEY_F4}, {500, GLFW_KEY_F3},         {540, GLFW_KEY_BACKSPACE}};
    for (const auto& k : keys)
        if (k[0] == frame)
            press(window, k[1]);
    if (frame >= 230 && frame < 400) {
        cursorPosCallback(window, 960.0 + 7.0 * (frame % 40), 540.0 - 3.0 * (frame % 25));
        if (frame % 10 == 0)
            scrollCallback(window, 0.0, frame % 20 == 0 ? 1.0 : -1.0);
        const CameraMovement held[] = {Down, Up, Right, Left};
        camera->move(held[(frame / 20) % 4], deltaTime);
    }
}

class ViewerFrame : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0, chdir(VELMORA_SOURCE_DIR)); }

    // Starts the viewer on a small window in `dir`; its console output is
    // collected until finish().
    bool start(const std::string& dir)
    {
        EXPECT_EQ(0, chdir(dir.c_str()));
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Viewer::WindowOptions options;
        options.width = width;
        options.height = height;
        options.fullScreen = false;
        return viewer.startUp(options);
    }
    Image frame(int number)
    {
        glfwSetTime(number / 60.0);
        viewer.renderFrame();
        Image image = readImage(width, height);
        viewer.present();
        return image;
    }
    void finish(bool started)
    {
        if (started)
            viewer.shutDown();
        out = testing::internal::GetCapturedStdout();
        errors = testing::internal::GetCapturedStderr();
    }

    Viewer viewer;
    std::string out, errors;
};

TEST_F(ViewerFrame, SkyParticlesAndGlassReachTheWindowThroughTheComposite)
{
    TempDir dir;
    writeScene(dir);
    const bool started = start(dir.path());
    Image on, off, onAgain, burst;
    if (started) {
        for (int f = 0; f < 30; ++f)
            on = frame(f);
        press(viewer.getWindow(), GLFW_KEY_F4);
        off = frame(30);
        press(viewer.getWindow(), GLFW_KEY_F4);
        onAgain = frame(31);
        // The first burst comes at 60 / 32 = 1.875 s.
        for (int f = 32; f <= 114; ++f)
            burst = frame(f);
    }
    finish(started);
    ASSERT_TRUE(started) << out << errors;
    keepImage(on, "on");
    keepImage(off, "off");

    // The sky fills the top rows, composited or not: its colour, to a level
    // of rounding, and not one pixel off.
    Image sky = on;
    for (std::size_t i = 0; i < sky.rgb.size(); ++i)
        sky.rgb[i] = skyColour[i % 3];
    for (const Image* image : {&on, &off})
        EXPECT_EQ(compareImages(*image, sky, 1, 0, 0, width, 8).failingShare, 0.0) << "sky";

    // The fountain shows blue drops over the sky and the backdrop's right
    // side where the scene file put it, none where it stands by default; the
    // sky alone has blue 140 and the backdrop 60.
    const auto drops = [&](const glm::vec3& point) {
        const glm::ivec2 fountain = pixelOf(point + glm::vec3(0, 0.6f, 0));
        int count = 0;
        for (int y = std::max(0, fountain.y - 30); y < std::min(height, fountain.y + 20); ++y)
            for (int x = std::max(0, fountain.x - 15); x < std::min(width, fountain.x + 15); ++x)
                count += on.at(x, y).b > 180.0f && on.at(x, y).b > on.at(x, y).r + 60.0f;
        return count;
    };
    EXPECT_GT(drops(fountainPoint), 3) << "no fountain drops at the point the scene file gives";
    EXPECT_EQ(drops(glm::vec3(-6, 1, 2)), 0) << "fountain drops at the default point";
    // The burst's warm sparks over the sky and the backdrop's dark left
    // side, within 3 units of its point (jitter 2, 0.025 s of flight); where
    // it stands by default it is out of view.
    const glm::ivec2 low = pixelOf(burstPoint + glm::vec3(-3, -3, 0)), high = pixelOf(burstPoint + glm::vec3(3, 3, 0));
    int sparks = 0;
    for (int y = std::max(0, high.y); y < std::min(height, low.y); ++y)
        for (int x = std::max(0, low.x); x < std::min(width, high.x); ++x)
            sparks += burst.at(x, y).r > 150.0f && burst.at(x, y).r > burst.at(x, y).b + 50.0f;
    keepImage(burst, "burst");
    EXPECT_GT(sparks, 3) << "no burst at the point the scene file gives";

    // Inside the clear ball the composite shows the backdrop through a lens,
    // where post-processing off shows it plain: gradients measured between
    // 5 x 5 probes half a radius either side of the centre.
    const glm::ivec2 c = pixelOf(glassCentre);
    const int r = pixelOf(glassCentre + glm::vec3(1.2f, 0, 0)).x - c.x;
    ASSERT_GT(r, 10);
    const auto probe = [](const Image& image, int x, int y) { return image.mean(x - 2, y - 2, x + 3, y + 3); };
    const float plainDown = probe(off, c.x, c.y + r / 2).g - probe(off, c.x, c.y - r / 2).g;
    const float plainRight = probe(off, c.x + r / 2, c.y).r - probe(off, c.x - r / 2, c.y).r;
    const float seenDown = probe(on, c.x, c.y + r / 2).g - probe(on, c.x, c.y - r / 2).g;
    const float seenRight = probe(on, c.x + r / 2, c.y).r - probe(on, c.x - r / 2, c.y).r;
    EXPECT_GT(std::abs(plainDown), 8.0f);
    EXPECT_GT(std::abs(plainRight), 8.0f);
    // Paraxially (index 1.5: focal length 1.5 radii from the centre; the eye
    // 14 in front) rays through the ball cross the axis 2.07 behind its
    // centre and meet the backdrop (3 behind) at -0.45 times their offset at
    // the ball, against 17 / 14 of it without the ball: the gradient shows at
    // -0.37 times its plain slope. The composite's screen-space model is not
    // paraxial optics: within a factor of two.
    for (const float ratio : {seenDown / plainDown, seenRight / plainRight})
        EXPECT_TRUE(ratio < -0.37f / 2 && ratio > -0.37f * 2) << ratio << ": the backdrop is not inverted and shrunk";
    EXPECT_EQ(compareImages(on, onAgain, 2, c.x - r / 2, c.y - r / 2, c.x + r / 2, c.y + r / 2).failingShare, 0.0);
    // Around it (from 1.5 to 2 radii out) both frames are the same lit
    // image: 2 levels allow for the copy's rounding, no pixel may fail.
    for (const glm::ivec4& band : {glm::ivec4(c.x - 2 * r, c.y - r, c.x - 3 * r / 2, c.y + r),
                                   glm::ivec4(c.x + 3 * r / 2, c.y - r, c.x + 2 * r, c.y + r)})
        EXPECT_EQ(compareImages(on, off, 2, band.x, band.y, band.z, band.w).failingShare, 0.0);
    // The nearly opaque ball shows its own blue over the backdrop (blue 60).
    const glm::ivec2 t = pixelOf(tintedCentre);
    EXPECT_GT(probe(on, t.x, t.y).b, probe(off, t.x, t.y).b + 60.0f) << "transparency is not applied";
    // The pane blends over the sky, drawn after it: half its lit red
    // (ambient 1: 231) over the sky (90, 20, 140).
    const glm::ivec2 p = pixelOf(panePoint);
    for (const Image* image : {&on, &off}) {
        EXPECT_NEAR(probe(*image, p.x, p.y).r, (231.0f + skyColour.r) / 2, 10.0f) << "pane";
        EXPECT_NEAR(probe(*image, p.x, p.y).b, skyColour.b / 2.0f, 10.0f) << "pane";
    }
}

TEST_F(ViewerFrame, LitProgramBuiltForTheScenesLightCountsUsesEveryPointLight)
{
    // Two point lights mirrored about the view's centre line before a grey
    // backdrop (the glass far out of view): the frame is mirror-symmetric.
    TempDir dir;
    writeBackdropScene(
        dir, [](int, int) { return glm::u8vec3(128, 128, 128); }, 6.0f, 3.0f, glm::vec3(0, -60, 0),
        "$ left 1\ntype 0 0\nposition 0 -3,2,-2\ncolor 0 1,1,1\n$ right 1\ntype 0 0\nposition 0 3,2,-2\ncolor 0 1,1,1\n",
        eye, eye, 1000);
    const bool started = start(dir.path());
    Image image;
    if (started)
        image = frame(0);
    finish(started);
    ASSERT_TRUE(started) << out << errors;
    keepImage(image, "mirror");
    const glm::ivec2 lit = pixelOf(glm::vec3(3, 2, -3)), middle = pixelOf(glm::vec3(0, 2, -3));
    const auto probe = [&](const glm::ivec2& p) { return image.mean(p.x - 2, p.y - 2, p.x + 3, p.y + 3).r; };
    EXPECT_GT(probe(lit), probe(middle) + 30.0f) << "the lights do not reach the backdrop";
    // Each pixel of the backdrop's left half against its mirror image: two
    // levels for rounding, not one pixel off.
    Image mirrored = image;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                mirrored.rgb[(y * width + x) * 3 + c] = image.rgb[(y * width + width - 1 - x) * 3 + c];
    const glm::ivec2 low = pixelOf(glm::vec3(-5.5f, 4.5f, -3)), high = pixelOf(glm::vec3(0, -0.5f, -3));
    EXPECT_EQ(compareImages(image, mirrored, 2, low.x, low.y, high.x, high.y).failingShare, 0.0);
}

// The scene's model files start importing before the window and its
// context exist, so that the files read and convert while the viewer sets
// itself up; the models are made afterwards, with the context current.
TEST_F(ViewerFrame, SceneImportsStartBeforeTheContextAndTheModelsAreMadeWithIt)
{
    TempDir dir;
    dir.write("triangle.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ConfigSection model;
    model.name = "model";
    model.kind = 0;
    model.values["path"] = dir.file("triangle.obj");
    bool prefetchedWithoutContext = false, builtWithContext = false;
    viewer.setSceneBuilder(
        [&](Scene& scene, Camera&) {
            builtWithContext = glfwGetCurrentContext() != nullptr;
            scene.finish();
            return true;
        },
        [&](Scene& scene) {
            prefetchedWithoutContext = glfwGetCurrentContext() == nullptr;
            scene.prepare({{model.name, model}}, "test");
        });
    const bool started = start(VELMORA_SOURCE_DIR);
    const std::size_t models = started ? viewer.getScene().getModels().size() : 0;
    const std::size_t meshes = models == 1 ? viewer.getScene().getModels()[0]->getMeshes().size() : 0;
    finish(started);
    ASSERT_TRUE(started) << out << errors;
    EXPECT_TRUE(prefetchedWithoutContext);
    EXPECT_TRUE(builtWithContext);
    EXPECT_EQ(models, 1u);
    EXPECT_EQ(meshes, 1u) << errors;
}

TEST_F(ViewerFrame, SixHundredFramesOfTheShippedSceneWithEveryBindingRaiseNoOpenGlError)
{
    // The shipped scene at a sixth of the window's size: every pass and state
    // is the same, and 600 frames fit the test's time on a CPU renderer.
    const bool started = start(VELMORA_SOURCE_DIR);
    std::vector<std::string> pending;
    int masked = 0;
    if (started) {
        for (int f = 0; f < 600; ++f) {
            actBefore(f, viewer.getWindow());
            glfwSetTime(f / 60.0);
            viewer.renderFrame();
            // Left masked, the next frame's clears would skip the lit
            // target's second attachment.
            GLboolean mask[4] = {};
            glGetBooleani_v(GL_COLOR_WRITEMASK, 1, mask);
            masked += !(mask[0] && mask[1] && mask[2] && mask[3]);
            viewer.present();
            for (GLenum error : drainErrors())
                pending.push_back("frame " + std::to_string(f) + ": " + std::to_string(error));
        }
    }
    finish(started);
    ASSERT_TRUE(started) << out << errors;
    std::istringstream lines(out);
    int resets = 0, reports = 0;
    for (std::string line; std::getline(lines, line);) {
        reports += line.find("OpenGL Error") != std::string::npos || line.find("ERROR::") != std::string::npos;
        resets += line == "Resetting animation";
    }
    EXPECT_EQ(reports, 0) << out;
    EXPECT_TRUE(pending.empty()) << pending.size() << " errors left pending, first " << pending.front();
    EXPECT_EQ(errors, "");
    EXPECT_EQ(masked, 0) << "a colour write mask outlived its frame";
    EXPECT_EQ(resets, 2) << "the callbacks reached the camera";
}

} // namespace
