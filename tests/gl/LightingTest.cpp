#include "LitSceneTest.h"
#include "ObjText.h"
#include "effects/ShadowMap.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

// Lighting that does not depend on how finely a surface is cut, and shadows
// with soft edges and no self-shadowing, read back from the lit pass. Renders
// are 256 x 256 with the camera straight above the floor.
namespace {

class LightingTest : public LitSceneTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LitSceneTest::SetUp());
        shadows = std::make_unique<ShadowMap>();
        shadows->setScreenSize(size, size);
    }

    // A camera `height` units straight above (x, 0, z), -z up the image.
    void lookDownAt(float x, float z, float height)
    {
        view = glm::lookAt(glm::vec3(x, height, z), glm::vec3(x, 0, z), glm::vec3(0, 0, -1));
    }

    // A scene under a dim white ambient light, with `text`'s lights and the
    // models named by `models` (section name, OBJ text) written beside it.
    Scene& loadLit(const std::string& text, const std::vector<std::pair<std::string, std::string>>& models)
    {
        std::string sections = ambientLight(0.1f) + text;
        for (const auto& [name, obj] : models) {
            dir.write(name + ".obj", obj);
            sections += "$ " + name + " 0\npath 0 " + dir.file(name + ".obj") + "\n";
        }
        return load(sections);
    }

    // The frame loop's lit pass; with `shadowed`, after a shadow pass, so the
    // first spot light casts shadows.
    Image render(Scene& scene, bool shadowed)
    {
        if (shadowed) {
            shadows->render(scene.getSpotLights(), scene.getModels());
            shadows->setUniforms(shader);
        }
        return LitSceneTest::render(scene);
    }

    // Where the pixel (x, y) (y = 0 at the top) sees the floor plane y = 0.
    glm::vec3 floorPoint(int x, int y) const
    {
        const glm::vec4 viewport(0, 0, size, size);
        const glm::vec3 window(x + 0.5f, size - 0.5f - y, 0.0f);
        const glm::vec3 near = glm::unProject(window, view, projection, viewport);
        const glm::vec3 far = glm::unProject(window + glm::vec3(0, 0, 1), view, projection, viewport);
        return near + (far - near) * (near.y / (near.y - far.y));
    }

    std::unique_ptr<ShadowMap> shadows;
};

} // namespace

TEST_F(LightingTest, TwoTriangleFloorLightsLikeAFinelyCutOne)
{
    // A spot straight down from 4 units (cones of 20 and 30 degrees: edges
    // 1.456 and 2.309 units from its foot), a warm point light low over the
    // floor and a cool one further off, each with its highlight in view. The
    // camera sees a 9.9-unit square at 25.8 pixels per unit.
    lookDownAt(0, 0, 12);
    const std::string lights = spotLight("spot", {0.5f, 4, 0}, {0, -1, 0}, glm::vec3(2), 20.0f, 30.0f) +
                               pointLight("warm", {-2.5f, 1.2f, 2}, {0.5f, 0.25f, 0.1f}) +
                               pointLight("cool", {2.5f, 2, -3}, {0.1f, 0.25f, 0.5f});
    Scene& coarse = loadLit(lights, {{"coarse", floorObj(10.0f, 1)}});
    Scene& fine = loadLit(lights, {{"fine", floorObj(10.0f, 100)}});
    const Image a = render(coarse, false);
    const Image b = render(fine, false);

    // The two meshes interpolate the same plane, so only rounding may differ:
    // at most 3 of 255 everywhere but within 2 pixels of either cone edge,
    // where the smooth step is steepest. The rings hold about 6 % of the
    // pixels; outside them not one pixel may fail.
    const float pixelsPerUnit = size / (2.0f * 12.0f * std::tan(glm::radians(22.5f)));
    const float innerEdge = 4.0f * std::tan(glm::radians(20.0f));
    const float outerEdge = 4.0f * std::tan(glm::radians(30.0f));
    int largest = 0, excluded = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const glm::vec3 p = floorPoint(x, y);
            const float r = std::hypot(p.x - 0.5f, p.z);
            if (std::min(std::abs(r - innerEdge), std::abs(r - outerEdge)) * pixelsPerUnit < 2.0f) {
                ++excluded;
                continue;
            }
            const glm::vec3 d = glm::abs(a.at(x, y) - b.at(x, y));
            largest = std::max(largest, static_cast<int>(std::max({d.r, d.g, d.b})));
        }
    }
    EXPECT_LE(largest, 3);
    EXPECT_LT(excluded, size * size / 10);
    // Both floors are really lit: the pool and the warm light's highlight
    // stand well above the ambient floor (about 90) in the coarse one.
    EXPECT_GT(brightness(a.mean(148, 123, 153, 128)), 200.0f);
    const glm::vec3 warm = a.mean(62, 177, 67, 182);
    EXPECT_GT(warm.r, warm.b + 30.0f);
    EXPECT_GT(brightness(a.mean(5, 250, 10, 255)), 0.0f);
}

TEST_F(LightingTest, CubeOnATwoTriangleFloorCastsASoftEdgedShadowInsideTheCone)
{
    // A unit cube on the floor, a spot 20 units off and 63 degrees up, aimed
    // at its foot; the shadow falls towards -x and ends at x = -1.06. Seen
    // from 6 units (51.5 pixels per unit), a map texel covers about 2 pixels.
    lookDownAt(-1.0f, 0.0f, 6.0f);
    Scene& scene = loadLit(spotLight("spot", {9, 18, 0}, {-9, -18, 0}, glm::vec3(4), 25.0f, 35.0f),
                           {{"a_cube", boxObj(glm::vec3(0.5f), {0, 0.5f, 0})}, {"floor", floorObj(10.0f, 1)}});
    const Image image = render(scene, true);

    // Along the image row through z = 0: x = -0.75 lies in the shadow, -1.5
    // in the lit pool. Columns from the cube's edge outwards.
    const int row = size / 2;
    const auto column = [this](float x) {
        return static_cast<int>(glm::project(glm::vec3(x, 0, 0), view, projection, glm::vec4(0, 0, size, size)).x);
    };
    const float shadowLevel = brightness(image.mean(column(-0.75f) - 2, row - 2, column(-0.75f) + 3, row + 3));
    const float litLevel = brightness(image.mean(column(-1.5f) - 2, row - 2, column(-1.5f) + 3, row + 3));
    ASSERT_GT(litLevel, shadowLevel + 60.0f) << "no shadow inside the cone";
    // A stepped edge jumps from one level to the other; a filtered one passes
    // through several values between them (2 levels of margin for rounding),
    // never turning back by more than a level.
    int between = 0;
    float previous = shadowLevel;
    for (int x = column(-0.75f); x >= column(-1.5f); --x) {
        const float value = brightness(image.at(x, row));
        between += value > shadowLevel + 2.0f && value < litLevel - 2.0f;
        EXPECT_GE(value, previous - 1.0f) << "column " << x;
        previous = value;
    }
    EXPECT_GE(between, 3);
}

TEST_F(LightingTest, GroundLitAtAGrazingAngleDoesNotShadowItself)
{
    // The spot sits 1 unit above the floor and 8 units away: its light meets
    // the floor under the camera at 7 degrees. With the spot no longer the
    // shadow caster the same floor must come out identical, to rounding.
    lookDownAt(0, 0, 6);
    Scene& scene = loadLit(spotLight("spot", {8, 1, 0}, {-1, -0.12f, 0}, glm::vec3(9), 30.0f, 40.0f), {{"floor", floorObj(10.0f, 1)}});
    const Image shadowed = render(scene, true);
    shader->use();
    shader->setVec3("lightPosition", glm::vec3(100.0f));
    const Image unshadowed = render(scene, false);
    ASSERT_GT(brightness(unshadowed.mean(100, 100, 156, 156)), 120.0f) << "the spot does not reach the floor";
    // Acne is dark speckle: any pixel off by more than a level fails.
    const ImageDifference acne = compareImages(shadowed, unshadowed, 1);
    EXPECT_LE(acne.largest, 1);
    EXPECT_EQ(acne.failingShare, 0.0);
}

TEST_F(LightingTest, ProgramBuiltForFixedLightCountsLightsLikeTheLoopingOne)
{
    // The viewer builds the lit program for the scene's light counts. Built
    // for more lights than the scene sends, the slots past the sent counts
    // must add nothing, even holding a bright light from an earlier scene.
    lookDownAt(-1.0f, 0.0f, 6.0f);
    Scene& scene = loadLit(spotLight("spot", {9, 18, 0}, {-9, -18, 0}, glm::vec3(4), 25.0f, 35.0f) +
                               spotLight("spot2", {-3, 5, 1}, {0, -1, 0}, {1, 0.5f, 0.2f}, 20.0f, 30.0f) +
                               pointLight("warm", {-2.5f, 1.2f, 2}, {0.5f, 0.25f, 0.1f}),
                           {{"a_cube", boxObj(glm::vec3(0.5f), {0, 0.5f, 0})}, {"floor", floorObj(10.0f, 1)}});
    const Image looping = render(scene, true);

    testing::internal::CaptureStdout();
    shader = Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag",
                           "#define POINT_LIGHT_COUNT 3\n#define SPOT_LIGHT_COUNT 3\n");
    ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
    shader->use();
    shader->setVec3("pointLights[2].position", glm::vec3(-1, 1, 0));
    shader->setVec3("pointLights[2].color", glm::vec3(9));
    shader->setVec3("spotLights[2].position", glm::vec3(-1, 3, 0));
    shader->setVec3("spotLights[2].direction", glm::vec3(0, -1, 0));
    shader->setVec3("spotLights[2].color", glm::vec3(9));
    shader->setFloat("spotLights[2].outerRadius", 0.5f);
    const Image unrolled = render(scene, true);

    ASSERT_GT(brightness(looping.mean(100, 100, 156, 156)), 60.0f) << "the scene is not lit";
    // Same arithmetic in the same order: at most a level of rounding apart.
    EXPECT_LE(compareImages(unrolled, looping, 1).largest, 1);
}
