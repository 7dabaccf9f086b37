#include "LitSceneTest.h"
#include "ObjText.h"
#include "effects/ShadowMap.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

// The lit-scene program and the shadow map on hand-made scenes, checked on
// read-back pixels and depths. The checks are facts of lighting any shading
// model keeps (light adds, cones end, occluders shadow), not exact colours.
namespace {

class LitPassTest : public LitSceneTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LitSceneTest::SetUp());
        dir.write("floor.obj", floorObj(10.0f));
        floor = "$ floor 0\npath 0 " + dir.file("floor.obj") + "\n";
    }
    float lit(const Image& image, const glm::vec3& world) const { return brightness(probe(image, world)); }

    std::string floor;
};

TEST_F(LitPassTest, AmbientIsEvenAndScalesSpotLightsItsConeOnlyAndPointLightFallsOff)
{
    const Image none = render(load(floor));
    const Image weak = render(load(ambientLight(0.1f) + floor));
    const Image strong = render(load(ambientLight(0.4f) + floor));
    EXPECT_EQ(brightness(none.mean(0, 0, size, size)), 0.0f);
    const float weakLevel = brightness(weak.mean(0, 0, size, size));
    EXPECT_GT(weakLevel, 20.0f);
    EXPECT_GT(brightness(strong.mean(0, 0, size, size)), weakLevel + 30.0f);
    // Ambient light has no direction: every pixel within a level of the mean.
    EXPECT_EQ(weak.fractionBrighterThan(0, 0, size, size, weakLevel + 1.0f), 0.0);
    EXPECT_EQ(weak.fractionBrighterThan(0, 0, size, size, weakLevel - 2.0f), 1.0);

    // A spot 4 units up pointing down: the outer cone (25 degrees) ends
    // 4 tan 25 = 1.87 units out.
    const Image spotImage =
        render(load(ambientLight(0.1f) + spotLight("s", {0, 4, 0}, {0, -1, 0}, glm::vec3(1), 20.0f, 25.0f) + floor));
    const float level = lit(weak, {3, 0, 0});
    EXPECT_GT(lit(spotImage, {0, 0, 0}), level + 80.0f);
    EXPECT_GT(lit(spotImage, {0, 0, 1.2f}), level + 40.0f) << "inside the inner cone";
    for (const float r : {2.3f, 3.0f, 5.0f})
        EXPECT_NEAR(lit(spotImage, {r, 0, 0}), level, 1.5f) << "outside the outer cone, at " << r;
    // Between the cones (20 and 25 degrees: 1.46 to 1.87 units out) the
    // light fades: half-way it is clearly between the core and the floor.
    const float between = lit(spotImage, {1.66f, 0, 0});
    EXPECT_GT(between, level + 10.0f);
    EXPECT_LT(between, lit(spotImage, {0, 0, 1.2f}) - 10.0f);

    const Image bulb = render(load(pointLight("p", {0, 2, 0}, glm::vec3(1)) + floor));
    EXPECT_GT(lit(bulb, {0, 0, 0}), lit(bulb, {2, 0, 0}) + 15.0f);
    EXPECT_GT(lit(bulb, {2, 0, 0}), lit(bulb, {4, 0, 0}) + 10.0f);
}

TEST_F(LitPassTest, LightAddsNothingBeyondItsReach)
{
    // A light of colour 1 reaches 44.7 units: 50 units up it leaves the
    // floor black, where its falloff alone would still give about 15 levels.
    const Image image = render(load(pointLight("far", {0, 50, 0}, glm::vec3(1)) + floor));
    EXPECT_EQ(image.fractionBrighterThan(0, 0, size, size, 0.0f), 0.0);
}

TEST_F(LitPassTest, LastSlotsOfBothLightArraysAreRead)
{
    // Sixteen point lights and eight spots, black but the last of each.
    std::string lights;
    for (int i = 0; i < 16; ++i)
        lights += pointLight("p" + std::string(1, char('a' + i)), {-3, 2, 0}, glm::vec3(i == 15));
    for (int i = 0; i < 8; ++i)
        lights += spotLight("s" + std::string(1, char('a' + i)), {3, 4, 0}, {0, -1, 0}, glm::vec3(i == 7), 20.0f, 25.0f);
    const Image image = render(load(lights + floor));
    EXPECT_GT(lit(image, {-3, 0, 0}), 60.0f);
    EXPECT_GT(lit(image, {3, 0, 0}), 60.0f);
}

TEST_F(LitPassTest, OccluderShadowsTheFloorInsideTheConeAndTheDebugViewShowsTheMap)
{
    // A spot straight down from 6 units, a cube of edge 0.8 at 3 units: its
    // shadow is a disc of radius about 0.7 about the origin. Seen from the
    // side, so the cube shows far from its shadow.
    view = glm::lookAt(glm::vec3(0, 10, 10), glm::vec3(0), glm::vec3(0, 1, 0));
    dir.write("box.obj", boxObj(glm::vec3(0.4f)));
    const std::string lights = ambientLight(0.1f) + spotLight("spot", {0, 6, 0}, {0, -1, 0}, glm::vec3(1), 25.0f, 30.0f);
    Scene& withBox = load(lights + floor + "$ occluder 0\npath 0 " + dir.file("box.obj") + "\nposition 0 0,3,0\n");
    ShadowMap shadows;
    shadows.setScreenSize(size, size);
    // After the map's pass, as from the second frame on.
    const auto renderShadowed = [&](Scene& scene) {
        shadows.render(scene.getSpotLights(), scene.getModels());
        shadows.setUniforms(shader);
        return render(scene);
    };
    const Image open = renderShadowed(load(lights + floor));
    const Image shadowed = renderShadowed(withBox); // the map keeps this scene's depths
    const Image ambientOnly = render(load(ambientLight(0.1f) + floor));

    EXPECT_NEAR(lit(shadowed, {0, 0, 0}), lit(ambientOnly, {0, 0, 0}), 3.0f) << "the shadow's core";
    EXPECT_GT(lit(open, {0, 0, 0}), lit(ambientOnly, {0, 0, 0}) + 80.0f);
    for (const glm::vec3& p : {glm::vec3(1.6f, 0, 0), glm::vec3(-1.6f, 0, 0.5f), glm::vec3(0, 0, 2.0f)})
        EXPECT_NEAR(lit(shadowed, p), lit(open, p), 2.0f) << "lit floor at " << p.x << ", " << p.z;

    // The map holds the cube's top (2.6 units from the light) at the centre
    // and the floor (6 units and more) beside it, as window depths of the
    // light's 90 degree projection with near 0.1 and far 100.
    const auto depthAt = [](float distance) {
        const glm::vec4 clip = glm::perspective(glm::radians(90.0f), 1.0f, 0.1f, 100.0f) * glm::vec4(0, 0, -distance, 1);
        return clip.z / clip.w * 0.5f + 0.5f;
    };
    const std::vector<float> depths = textureDepth(shadows.getDepthTexture(), 1024, 1024);
    EXPECT_NEAR(depths[512 * 1024 + 512], depthAt(2.6f), 2e-3f);
    EXPECT_NEAR(depths[512 * 1024 + 900], depthAt(6.0f), 2e-3f); // depth follows the view axis
    EXPECT_EQ(shadows.getLightSpaceMatrix(), glm::perspective(glm::radians(90.0f), 1.0f, 0.1f, 100.0f) *
                                                 ShadowMap::lightView(withBox.getSpotLights()[0]));

    // The debug view shows that map in the upper right quarter only.
    const auto debugFrame = [&] {
        target->clear();
        shadows.drawDebug();
        return target->read();
    };
    EXPECT_EQ(brightness(debugFrame().mean(0, 0, size, size)), 0.0f) << "off by default";
    shadows.toggleDebugView();
    const Image image = debugFrame();
    const int h = size / 2;
    EXPECT_EQ(image.fractionBrighterThan(0, 0, h, size, 0.0f), 0.0) << "left half untouched";
    EXPECT_EQ(image.fractionBrighterThan(h, h, size, size, 0.0f), 0.0) << "lower right untouched";
    // The quarter shows the floor and, nearer the light, the cube: two
    // different shades, the cube's at the quarter's centre.
    const float centre = brightness(image.mean(h + h / 2 - 3, h / 2 - 3, h + h / 2 + 3, h / 2 + 3));
    const float edge = brightness(image.mean(size - 12, 4, size - 4, 12));
    EXPECT_GT(edge, 0.0f);
    EXPECT_GT(std::abs(edge - centre), 10.0f);
    EXPECT_TRUE(drainErrors().empty());
}

} // namespace
