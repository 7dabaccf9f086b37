#include "ObjText.h"
#include "StillCamera.h"
#include "TempDir.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <stb_image_write.h>

#include <filesystem>
#include <sstream>
#include <vector>

// The real binary: a floor and a box under one spot light, a still camera
// and a uniform night sky. Far from the origin, so the particle emitters
// (near the origin and high above it) stay behind the camera.
namespace {

const glm::vec3 centre(0.0f, 0.0f, -30.0f);
// The shadow-casting spot light shines from here at the box's foot.
const glm::vec3 lightPosition = centre + glm::vec3(4.0f, 8.0f, 0.0f);
const glm::vec3 eye(0.0f, 9.0f, -17.0f);
const glm::vec3 lookedAt = centre + glm::vec3(-1.0f, 0.0f, 0.0f);
const unsigned char skyColour[3] = {12, 24, 70};

void layOutScene(const TempDir& dir)
{
    dir.layOutRepository();
    // The viewer lights vertices, so the spot light's pool needs floor
    // vertices inside it: 80 x 80 cells of 0.25 units.
    dir.write("assets/floor.obj", floorObj(10.0f, 0.0f, "", true, 80));
    dir.write("assets/box.obj", boxObj(glm::vec3(1.0f), glm::vec3(0.0f, 1.0f, 0.0f)));
    std::ostringstream scene;
    scene << "$ ambient 2\nambientStrength 0 0.1\nambientColor 0 0.35,0.45,1\n"
          << "$ a_spot 1\ntype 0 1\nposition 0 " << lightPosition.x << "," << lightPosition.y << ","
          << lightPosition.z << "\ndirection 0 -4,-8,0\ncolor 0 6,5,4\n"
          << "innerRadius 0 25\nouterRadius 0 35\n"
          // A second spot light: lights, but casts no shadow.
          << "$ b_spot 1\ntype 0 1\nposition 0 -30,8," << centre.z << "\ndirection 0 0,-1,0\ncolor 0 1,1,1\n"
          << "innerRadius 0 5\nouterRadius 0 10\n"
          << "$ box 0\npath 0 assets/box.obj\nposition 0 0,0," << centre.z << "\n"
          << "$ floor 0\npath 0 assets/floor.obj\nposition 0 0,0," << centre.z << "\n";
    dir.write("assets/scene.txt", scene.str());
    StillCamera(eye, lookedAt).writePath(dir);

    std::filesystem::create_directories(dir.file("assets/skybox/mnight"));
    std::vector<unsigned char> face;
    for (int i = 0; i < 16 * 16; ++i)
        face.insert(face.end(), skyColour, skyColour + 3);
    for (const char* name : {"ft", "bk", "up", "dn", "rt", "lf"})
        stbi_write_tga(dir.file(std::string("assets/skybox/mnight/mnight_") + name + ".tga").c_str(), 16, 16, 3,
                       face.data());
}

float luminance(const glm::vec3& c) { return 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b; }

double greyShare(const Image& image, int x0, int y0, int x1, int y1)
{
    long grey = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const glm::vec3 c = image.at(x, y);
            grey += std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) <= 3.0f;
        }
    return static_cast<double>(grey) / ((x1 - x0) * (y1 - y0));
}

} // namespace

TEST(ShadowSky, ShadowSkyAndDepthMapViewOnTheRealWindow)
{
    TempDir dir;
    layOutScene(dir);

    // Where world points land on the 1920 x 1080 window, through the same
    // camera and projection the viewer builds.
    const StillCamera view(eye, lookedAt);
    const auto pixel = [&view](const glm::vec3& world) { return view.pixel(world); };

    XSession x;
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    ASSERT_TRUE(x.launch(dir.path()));
    ASSERT_TRUE(x.waitForWindow()) << x.output() << x.errors();
    // Drawn straight to the window: what is checked here is the shadow, the
    // sky and the debug view, not the post-processing composite.
    x.key("F4");
    XSession::pause(3.0);
    const Image scene = x.screenshot();
    ASSERT_EQ(scene.width, 1920);
    keepImage(scene, "shadow-sky-scene");

    // Sky: every pixel above the floor's far edge (with a 4-pixel margin for
    // its rasterised edge) is exactly the sky colour; 1 level allowed for
    // the cube map's filtering of a uniform face. No pixel may fail: nothing
    // else is in that band.
    const int horizon = std::min(pixel(centre + glm::vec3(-10, 0, -10)).y, pixel(centre + glm::vec3(10, 0, -10)).y);
    ASSERT_GT(horizon, 100) << "the floor's far edge must be well below the top";
    Image sky = scene;
    for (size_t i = 0; i < sky.rgb.size(); ++i)
        sky.rgb[i] = skyColour[i % 3];
    const ImageDifference skyDifference = compareImages(scene, sky, 1, 0, 0, 1920, horizon - 4);
    EXPECT_EQ(skyDifference.failingShare, 0.0) << "largest difference " << skyDifference.largest;

    // Shadow: the box's shadow falls on the floor away from the light (-x);
    // beside it (+z of the shadow) the floor is lit.
    const glm::ivec2 inShadow = pixel(centre + glm::vec3(-2.0f, 0.0f, 0.0f));
    const glm::ivec2 beside = pixel(centre + glm::vec3(-2.0f, 0.0f, 2.3f));
    const float shadowLevel = luminance(scene.mean(inShadow.x - 5, inShadow.y - 5, inShadow.x + 5, inShadow.y + 5));
    const float litLevel = luminance(scene.mean(beside.x - 5, beside.y - 5, beside.x + 5, beside.y + 5));
    EXPECT_LT(shadowLevel, 0.5f * litLevel) << "shadow " << shadowLevel << ", lit " << litLevel;
    EXPECT_GT(shadowLevel, 5.0f) << "the ambient light still reaches the shadow";

    // Soft edge: the shadow's far edge lies at x = -2.67 from the box
    // centre (the box's top edge projected from the light). Scan lines across
    // it, on the floor, find intermediate levels where the filtering blends
    // lit and shadowed texels; a hard edge jumps from one level to the other
    // (the spot light's own fall-off changes little over one scan line).
    // Bilinear filtering of 2 x 2 texels ramps over one texel, about 1.6
    // pixels here (a texel spans 0.02 units 10 units from the light, a pixel
    // 0.012 units 16 units from the eye): at least one intermediate pixel on
    // every other line is required, where a plain depth comparison gives none.
    int between = 0, lines = 0;
    for (float z = -0.8f; z <= 0.81f; z += 0.2f, ++lines) {
        const glm::ivec2 from = pixel(centre + glm::vec3(-3.3f, 0.0f, z));
        const glm::ivec2 to = pixel(centre + glm::vec3(-2.1f, 0.0f, z));
        const int steps = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y));
        ASSERT_GT(steps, 40);
        for (int s = 0; s <= steps; ++s) {
            const glm::ivec2 p = from + (to - from) * s / steps;
            const float level = luminance(scene.at(p.x, p.y));
            between += level > shadowLevel + 0.2f * (litLevel - shadowLevel) &&
                       level < litLevel - 0.2f * (litLevel - shadowLevel);
        }
    }
    EXPECT_GE(2 * between, lines) << "a shadow edge with no intermediate levels is hard";

    // The debug view: one F3 press shows the map as grey in the upper right
    // quarter, with the floor and box dark grey (about 10 units from the
    // light, 89 of 255) and the empty part of the light's view white.
    const double sceneGrey = greyShare(scene, 960, 0, 1920, 540);
    EXPECT_LT(sceneGrey, 0.5) << "the scene's quarter is coloured";
    x.key("F3");
    XSession::pause(3.0);
    const Image debug = x.screenshot();
    keepImage(debug, "shadow-sky-debug");
    EXPECT_GT(greyShare(debug, 960, 0, 1920, 540), 0.99);
    EXPECT_GT(debug.fractionBrighterThan(960, 0, 1920, 540, 240.0f), 0.02) << "nothing lit seen empty";
    EXPECT_LT(debug.fractionBrighterThan(960, 0, 1920, 540, 160.0f), 0.7) << "floor and box must show dark";
    // The rest of the window is untouched by it.
    EXPECT_LE(compareImages(scene, debug, 8, 0, 540, 1920, 1080).failingShare, 0.001);

    x.key("F3");
    XSession::pause(3.0);
    const Image after = x.screenshot();
    // The scene is still, so the quarter comes back as it was: 8 levels and
    // 0.1% of pixels allow for nothing more than rounding noise.
    EXPECT_LE(compareImages(scene, after, 8, 960, 0, 1920, 540).failingShare, 0.001);

    // Escape is polled once per frame: hold it for longer than a frame.
    x.holdKey("Escape", 2.0);
    EXPECT_EQ(x.waitExit(10.0), 0) << x.errors();
    EXPECT_EQ(x.output().find("Shadow Map OpenGL Error"), std::string::npos) << x.output();
    EXPECT_EQ(x.output().find("ERROR::SHADOWMAP"), std::string::npos) << x.output();
}
