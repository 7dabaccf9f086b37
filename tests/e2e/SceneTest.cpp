#include "ObjText.h"
#include "StillCamera.h"
#include "TempDir.h"
#include "XSession.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <array>
#include <sstream>

// The real binary on a small scene of its own: a red-textured cube (OBJ), a
// white turning box (ASCII STL, no texture) and a floor, under a point, a
// spot and an ambient light, seen by a still camera. Placed far from the
// origin so the particle emitters stay out of view.
namespace {

const glm::vec3 centre(40.0f, 0.0f, 0.0f);
const glm::vec3 eye = centre + glm::vec3(0.0f, 3.0f, 8.0f);

// Corners of the six faces of a box of half extents `half` about the
// origin, each counter-clockwise seen from outside, with the face normal:
// the STL twin of boxObj.
struct Face {
    glm::vec3 normal;
    glm::vec3 corners[4];
};

std::vector<Face> boxFaces(const glm::vec3& half)
{
    const glm::vec3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
    const glm::vec3 frames[6][3] = {{x, -z, y}, {-x, z, y}, {y, x, -z}, {-y, x, z}, {z, x, y}, {-z, -x, y}};
    std::vector<Face> faces;
    for (const auto& frame : frames) {
        const glm::vec3 c = half * frame[0];
        const glm::vec3 u = half * frame[1];
        const glm::vec3 v = half * frame[2];
        faces.push_back({frame[0], {c - u - v, c + u - v, c + u + v, c - u + v}});
    }
    return faces;
}

std::string boxStl(const glm::vec3& half)
{
    std::ostringstream stl;
    stl << "solid cube\n";
    for (const Face& face : boxFaces(half)) {
        for (const auto& t : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
            stl << "facet normal " << face.normal.x << " " << face.normal.y << " " << face.normal.z
                << "\nouter loop\n";
            for (int k : t)
                stl << "vertex " << face.corners[k].x << " " << face.corners[k].y << " " << face.corners[k].z << "\n";
            stl << "endloop\nendfacet\n";
        }
    }
    stl << "endsolid cube\n";
    return stl.str();
}

void layOutScene(const TempDir& dir)
{
    dir.layOutRepository();
    dir.write("assets/models/cube.obj", "mtllib cube.mtl\nusemtl red\n" + boxObj(glm::vec3(0.8f)));
    dir.write("assets/models/cube.mtl", "newmtl red\nmap_Kd red.png\n");
    const unsigned char red[] = {200, 30, 20, 255, 200, 30, 20, 255, 200, 30, 20, 255, 200, 30, 20, 255};
    stbi_write_png(dir.file("assets/models/red.png").c_str(), 2, 2, 4, red, 8);
    // A long box, so that a quarter turn changes its outline.
    dir.write("assets/models/spinner.stl", boxStl({1.0f, 0.6f, 0.35f}));
    dir.write("assets/models/floor.obj", "v -8 -1 -8\nv -8 -1 8\nv 8 -1 8\nv 8 -1 -8\nvn 0 1 0\n"
                                         "f 1//1 2//1 3//1\nf 1//1 3//1 4//1\n");
    std::ostringstream scene;
    scene << "$ ambient 2\nambientStrength 0 0.15\nambientColor 0 1,1,1\n"
          << "$ bulb 1\ntype 0 0\nposition 0 " << StillCamera::text(centre + glm::vec3(2, 4, 4)) << "\ncolor 0 1.5,1.5,1.5\n"
          << "$ lamp 1\ntype 0 1\nposition 0 " << StillCamera::text(centre + glm::vec3(0, 7, 0))
          << "\ndirection 0 0,-1,0\ncolor 0 1,1,1\ninnerRadius 0 30\nouterRadius 0 40\n"
          << "$ cube 0\npath 0 assets/models/cube.obj\nposition 0 " << StillCamera::text(centre) << "\n"
          << "$ floor 0\npath 0 assets/models/floor.obj\nposition 0 " << StillCamera::text(centre) << "\n"
          << "$ spinner 0\npath 0 assets/models/spinner.stl\nposition 0 " << StillCamera::text(centre + glm::vec3(-3, 0, 0))
          << "\naxis 0 0,1,0\nspeed 0 40\n";
    dir.write("assets/scene.txt", scene.str());
    StillCamera(eye, centre).writePath(dir);
}

} // namespace

TEST(SceneEndToEnd, ShowsTheModelsOfTheSceneFileLitAndTurning)
{
    TempDir dir;
    layOutScene(dir);

    const StillCamera view(eye, centre);
    const auto pixel = [&view](const glm::vec3& world) { return view.pixel(world); };
    // 30 x 30 pixels about the point: well inside each face (the cubes span
    // about 200 pixels), so edges and the turn's silhouette stay out.
    const auto region = [&](const Image& image, const glm::vec3& world) {
        const glm::ivec2 p = pixel(world);
        return image.mean(p.x - 15, p.y - 15, p.x + 15, p.y + 15);
    };
    const glm::vec3 cubeFront = centre + glm::vec3(0, 0, 0.8f);
    const glm::vec3 spinnerTop = centre + glm::vec3(-3, 0.6f, 0);
    const glm::vec3 floorPoint = centre + glm::vec3(2.5f, -1, 1.5f);

    XSession x;
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    ASSERT_TRUE(x.launch(dir.path()));
    ASSERT_TRUE(x.waitForWindow()) << x.output() << x.errors();
    // The composite may take a few frames to show anything: wait up to 30 s
    // for the cube's front to leave black, and fail if it never does. Black
    // is a mean colour under 1 level long: the cleared frame is 0 there and
    // the lit cube shows well above 80 (checked below).
    const auto shown = [&](const Image& image) {
        return image.width == 1920 && glm::length(region(image, cubeFront)) >= 1.0f;
    };
    const Image shot = x.screenshotUntil(shown, 30.0);
    ASSERT_EQ(shot.width, 1920);
    ASSERT_GE(glm::length(region(shot, cubeFront)), 1.0f) << "the composite stays black at the cube";
    keepImage(shot, "scene-models");

    // The textured cube shows its red texture, lit.
    const glm::vec3 red = region(shot, cubeFront);
    EXPECT_GT(red.r, 80.0f);
    EXPECT_GT(red.r, 2.0f * red.g);
    EXPECT_GT(red.r, 2.0f * red.b);
    // The untextured STL cube shows lit and neutral (the white fallback), not
    // black and not in the red cube's texture.
    const glm::vec3 white = region(shot, spinnerTop);
    EXPECT_GT(white.g, 60.0f);
    EXPECT_NEAR(white.r, white.g, 12.0f);
    EXPECT_NEAR(white.b, white.g, 12.0f);
    // The floor is there too, lit above black.
    EXPECT_GT(region(shot, floorPoint).g, 20.0f);

    // Two seconds later the spinner has turned about 80 degrees: its outline
    // has moved, while the still cube's front face is unchanged. 10 levels
    // of tolerance keep rounding noise out; a long box turned that far
    // changes far more than 10% of the rectangle around it. A loaded machine
    // may draw few frames, so up to four looks are taken. (The floor round
    // the still cube is not compared: the very first frame is drawn before
    // any shadow map exists, and a slow start may show it in the first shot.)
    const glm::ivec2 a = pixel(centre + glm::vec3(-4.2f, 1.2f, 0));
    const glm::ivec2 b = pixel(centre + glm::vec3(-1.8f, -1.2f, 0));
    Image later;
    double turned = 0.0;
    for (int look = 0; look < 4 && turned <= 0.1; ++look) {
        XSession::pause(2.0);
        later = x.screenshot();
        turned = compareImages(shot, later, 10, a.x, a.y, b.x, b.y).failingShare;
    }
    keepImage(later, "scene-models-later");
    EXPECT_GT(turned, 0.1);
    EXPECT_LT(glm::length(region(later, cubeFront) - region(shot, cubeFront)), 3.0f);

    x.holdKey("Escape", 2.0);
    EXPECT_EQ(x.waitExit(10.0), 0) << x.errors();
    EXPECT_EQ(x.errors().find("ERROR::ASSIMP"), std::string::npos) << x.errors();
    EXPECT_EQ(x.output().find("Failed to load texture"), std::string::npos) << x.output();
}

TEST(SceneEndToEnd, MalformedNumberInTheSceneFileEndsWithOneLineAndStatusOne)
{
    TempDir dir;
    layOutScene(dir);
    dir.write("assets/scene.txt", "$ cube 0\npath 0 assets/models/cube.obj\nposition 0 40,x,0\n");

    XSession x;
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    ASSERT_TRUE(x.launch(dir.path()));
    const int status = x.waitExit(60.0);
    // Not killed by a signal (an uncaught exception aborts with 134).
    EXPECT_EQ(status, 1) << x.errors();
    const std::string errors = x.errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "one line: " << errors;
    EXPECT_EQ(errors.rfind("velmora: ", 0), 0u) << errors;
    for (const char* part : {"assets/scene.txt", "cube", "position", "40,x,0"})
        EXPECT_NE(errors.find(part), std::string::npos) << part << " missing from: " << errors;
    // The file was still echoed while it was read.
    EXPECT_NE(x.output().find("position 0 40,x,0\n"), std::string::npos);
}
