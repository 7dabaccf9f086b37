#include "StillCamera.h"
#include "TempDir.h"
#include "XSession.h"
#include "app/Viewer.h"

#include <gtest/gtest.h>

#include <stb_image_write.h>

#include <cmath>
#include <sstream>
#include <vector>

// The real binary: a glass ball in front of a textured wall, a still camera,
// and F4 switching the composite off and on. Far from the origin, so the
// particle emitters (near the origin and high above it) stay behind the
// camera.
namespace {

const glm::vec3 eye(0.0f, 0.0f, -30.0f);
const glm::vec3 ballCentre(0.0f, 0.0f, -38.0f);
constexpr float ballRadius = 2.0f;
const glm::vec3 wallCentre(0.0f, 0.0f, -46.0f);

// OBJ text of a UV sphere about the origin, faces counter-clockwise seen
// from outside, with outward normals and texture coordinates.
std::string sphereObj(float radius)
{
    const int slices = 48, stacks = 32;
    std::ostringstream obj;
    for (int i = 0; i <= stacks; ++i)
        for (int j = 0; j <= slices; ++j) {
            const float theta = 3.14159265f * static_cast<float>(i) / stacks;
            const float phi = 6.28318531f * static_cast<float>(j) / slices;
            const glm::vec3 n(std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi));
            obj << "v " << radius * n.x << " " << radius * n.y << " " << radius * n.z << "\n"
                << "vn " << n.x << " " << n.y << " " << n.z << "\n"
                << "vt " << static_cast<float>(j) / slices << " " << static_cast<float>(i) / stacks << "\n";
        }
    const auto corner = [](int k) {
        const std::string s = std::to_string(k + 1);
        return s + "/" + s + "/" + s;
    };
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const int a = i * (slices + 1) + j, b = a + slices + 1;
            obj << "f " << corner(a) << " " << corner(b) << " " << corner(a + 1) << "\n"
                << "f " << corner(a + 1) << " " << corner(b) << " " << corner(b + 1) << "\n";
        }
    return obj.str();
}

void layOutScene(const TempDir& dir)
{
    dir.layOutRepository();
    // The wall: 32 x 18 units facing the camera, a checker of 2-unit squares.
    dir.write("assets/glass/wall.mtl", "newmtl wall\nKd 1 1 1\nmap_Kd checker.png\n");
    dir.write("assets/glass/wall.obj", "mtllib wall.mtl\nusemtl wall\n"
                                       "v -16 -9 0\nv 16 -9 0\nv 16 9 0\nv -16 9 0\n"
                                       "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n"
                                       "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n");
    std::vector<unsigned char> checker;
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 256; ++x) {
            const bool light = (x / 16 + y / 16) % 2 == 0;
            const unsigned char c[3] = {static_cast<unsigned char>(light ? 230 : 40),
                                        static_cast<unsigned char>(light ? 190 : 70),
                                        static_cast<unsigned char>(light ? 60 : 170)};
            checker.insert(checker.end(), c, c + 3);
        }
    stbi_write_png(dir.file("assets/glass/checker.png").c_str(), 256, 144, 3, checker.data(), 256 * 3);
    dir.write("assets/glass/ball.obj", sphereObj(ballRadius));

    std::ostringstream scene;
    scene << "$ ambient 2\nambientStrength 0 0.5\nambientColor 0 1,1,1\n"
          << "$ lamp 1\ntype 0 0\nposition 0 0,3," << eye.z - 2.0f << "\ncolor 0 3,3,3\n"
          << "$ ball 0\npath 0 assets/glass/ball.obj\nposition 0 " << ballCentre.x << "," << ballCentre.y << ","
          << ballCentre.z << "\ntransparency 0 1\nrefraction 0 0.66\nreflection 0 0.3\n"
          << "$ wall 0\npath 0 assets/glass/wall.obj\nposition 0 " << wallCentre.x << "," << wallCentre.y << ","
          << wallCentre.z << "\n";
    dir.write("assets/scene.txt", scene.str());
    StillCamera(eye, glm::vec3(0.0f, 0.0f, ballCentre.z)).writePath(dir);
}

// Largest channel difference and the share of pixels differing by more than
// `tolerance`, over the pixels at least `from` and less than `to` pixels
// from (cx, cy).
struct Ring {
    int largest = 0;
    double failingShare = 0.0;
};
Ring compareRing(const Image& a, const Image& b, int tolerance, float cx, float cy, float from, float to)
{
    Ring ring;
    long count = 0, failing = 0;
    for (int y = 0; y < a.height; y += 2)
        for (int x = 0; x < a.width; x += 2) {
            const float r = std::hypot(x - cx, y - cy);
            if (r < from || r >= to)
                continue;
            const glm::vec3 d = glm::abs(a.at(x, y) - b.at(x, y));
            const int worst = static_cast<int>(std::max({d.r, d.g, d.b}));
            ring.largest = std::max(ring.largest, worst);
            failing += worst > tolerance;
            ++count;
        }
    ring.failingShare = count ? static_cast<double>(failing) / count : 1.0;
    return ring;
}

} // namespace

TEST(Glass, F4HidesTheTransparentModelAndLeavesEverythingElse)
{
    TempDir dir;
    layOutScene(dir);

    // The ball's outline on the 1920 x 1080 window, from the viewer's own
    // projection: the view axis runs through its centre.
    const float distance = glm::length(ballCentre - eye);
    const float radius = Viewer::makeProjection(1920, 1080)[1][1] * ballRadius /
                         std::sqrt(distance * distance - ballRadius * ballRadius) * 540.0f;
    const float cx = 960.0f, cy = 540.0f;
    ASSERT_GT(radius, 250.0f);

    XSession x;
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    ASSERT_TRUE(x.launch(dir.path()));
    ASSERT_TRUE(x.waitForWindow()) << x.output() << x.errors();
    XSession::pause(3.0);
    const Image glass = x.screenshot();
    ASSERT_EQ(glass.width, 1920);
    keepImage(glass, "glass-on");

    x.key("F4");
    XSession::pause(4.0);
    const Image plain = x.screenshot();
    keepImage(plain, "glass-off");

    x.key("F4");
    XSession::pause(4.0);
    const Image again = x.screenshot();
    keepImage(again, "glass-again");

    // Inside the ball the composite shows the wall bent through the glass;
    // without it, the wall as it stands. At least a third of the inner disc
    // must change by more than 40 levels (the checker's squares are 150 to
    // 190 levels apart in some channel, and the glass turns them over).
    const Ring inside = compareRing(glass, plain, 40, cx, cy, 0.0f, radius * 0.8f);
    EXPECT_GT(inside.failingShare, 0.33) << "the glass must show in the composite only";

    // Outside the ball (8 pixels off its outline) nothing else changes: the
    // composite copies the lit scene exactly, and the scene is still. One
    // level of tolerance, and no pixel past it.
    const Ring outside = compareRing(glass, plain, 1, cx, cy, radius + 8.0f, 5000.0f);
    EXPECT_LE(outside.largest, 1);
    EXPECT_EQ(outside.failingShare, 0.0);

    // A second F4 brings the glass back as it was.
    const Ring back = compareRing(glass, again, 1, cx, cy, 0.0f, 5000.0f);
    EXPECT_LE(back.largest, 1);
    EXPECT_EQ(back.failingShare, 0.0);

    x.holdKey("Escape", 2.0);
    EXPECT_EQ(x.waitExit(10.0), 0) << x.errors();
    EXPECT_EQ(x.output().find("ERROR::POSTPROCESSING"), std::string::npos) << x.output();
    EXPECT_EQ(x.output().find("ERROR::SHADER"), std::string::npos) << x.output();
}
