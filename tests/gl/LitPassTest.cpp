#include "GlContext.h"
#include "ImageProbe.h"
#include "TempDir.h"
#include "TestImages.h"
#include "TestModels.h"
#include "effects/ShadowMap.h"
#include "render/Shader.h"
#include "scene/Scene.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

// The lit-scene program drawing known models under known lights, checked on
// read-back pixels. Each render is 256 x 256; pixel probes average a few
// pixels so that single-pixel rasterisation differences do not matter.
namespace {

constexpr int size = 256;

float brightness(const glm::vec3& rgb) { return std::max({rgb.r, rgb.g, rgb.b}); }

class LitPassTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        target = std::make_unique<RenderTarget>(size);
        ASSERT_TRUE(target->complete());
        testing::internal::CaptureStdout();
        shader = Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag");
        ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        projection = glm::perspective(glm::radians(45.0f), 1.0f, 0.1f, 200.0f);
        lookAt(glm::vec3(0, 12, 0), glm::vec3(0.0f), glm::vec3(0, 0, -1));
    }

    void lookAt(const glm::vec3& eye, const glm::vec3& centre, const glm::vec3& up)
    {
        view = glm::lookAt(eye, centre, up);
    }

    // Writes the scene file and loads it (the reader's echo is swallowed).
    void load(Scene& scene, const std::string& text)
    {
        dir.write("scene.txt", text);
        testing::internal::CaptureStdout();
        scene.load(dir.file("scene.txt"));
        testing::internal::GetCapturedStdout();
    }

    // The lit pass as the frame loop runs it, into the off-screen target.
    Image render(Scene& scene)
    {
        target->clear();
        shader->use();
        shader->setMat4("view", view);
        shader->setMat4("projection", projection);
        scene.draw(shader, false);
        EXPECT_TRUE(GlContext::drainErrors().empty());
        Image image = target->read();
        keepImage(image, std::to_string(shots++));
        return image;
    }

    // Mean colour of the 5 x 5 pixels where `world` lands on the image.
    glm::vec3 probe(const Image& image, const glm::vec3& world) const
    {
        const glm::vec3 window = glm::project(world, view, projection, glm::vec4(0, 0, size, size));
        const int x = static_cast<int>(window.x);
        const int y = size - 1 - static_cast<int>(window.y);
        return image.mean(x - 2, y - 2, x + 3, y + 3);
    }

    std::string modelFile(const std::string& name, const std::string& obj)
    {
        dir.write(name, obj);
        return dir.file(name);
    }

    TempDir dir;
    std::unique_ptr<RenderTarget> target;
    std::shared_ptr<Shader> shader;
    glm::mat4 view{1.0f};
    glm::mat4 projection{1.0f};
    int shots = 0;
};

std::string ambient(float strength)
{
    return "$ ambient 2\nambientStrength 0 " + std::to_string(strength) + "\nambientColor 0 1,1,1\n";
}

std::string modelSection(const std::string& name, const std::string& path, const std::string& extra = "")
{
    return "$ " + name + " 0\npath 0 " + path + "\n" + extra;
}

std::string spotSection(const std::string& name, const std::string& position, const std::string& direction,
                        const std::string& color, float inner, float outer)
{
    return "$ " + name + " 1\ntype 0 1\nposition 0 " + position + "\ndirection 0 " + direction + "\ncolor 0 " +
           color + "\ninnerRadius 0 " + std::to_string(inner) + "\nouterRadius 0 " + std::to_string(outer) + "\n";
}

std::string pointSection(const std::string& name, const std::string& position, const std::string& color)
{
    return "$ " + name + " 1\ntype 0 0\nposition 0 " + position + "\ncolor 0 " + color + "\n";
}

} // namespace

TEST_F(LitPassTest, FacesTurnedToAPointLightAreBrighterThanFacesTurnedAway)
{
    // A cube turned 45 degrees about y shows two faces to the camera on +z:
    // the right one faces the light on +x, the left one faces away from it.
    const std::string box = modelFile("box.obj", boxObj(glm::vec3(1.0f)));
    lookAt({0, 0, 6}, {0, 0, 0}, {0, 1, 0});
    const std::string model = modelSection("box", box, "axis 0 0,1,0\nspeed 0 45\n");
    Scene lit;
    load(lit, ambient(0.1f) + pointSection("light", "6,0,0", "1,1,1") + model);
    lit.update(1.0f);
    Scene dark;
    load(dark, ambient(0.1f) + model);
    dark.update(1.0f);

    const Image withLight = render(lit);
    const Image ambientOnly = render(dark);
    // Centres of the two faces seen from the camera.
    const glm::vec3 right(0.707f, 0.0f, 0.707f);
    const glm::vec3 left(-0.707f, 0.0f, 0.707f);
    // The lit face gains well over a quarter of the range.
    EXPECT_GT(brightness(probe(withLight, right)), brightness(probe(withLight, left)) + 60.0f);
    // The face turned away gets the ambient light only, to rounding.
    EXPECT_NEAR(brightness(probe(withLight, left)), brightness(probe(ambientOnly, left)), 1.0f);
    EXPECT_GT(brightness(probe(ambientOnly, left)), 10.0f) << "the ambient term is missing";
}

TEST_F(LitPassTest, SpotLightHasABrightCoreASmoothEdgeBetweenItsConesAndAmbientOutside)
{
    // Spot 4 units above a white floor, straight down: the inner cone
    // (12.5 degrees) reaches 4 tan 12.5 = 0.887 units out, the outer one
    // (17.5 degrees) 1.261 units. The camera looks straight down from 12 units
    // (about 26 pixels per unit). The floor's 0.1-unit squares put vertices
    // on both sides of each cone close enough for the probes below.
    const std::string floor = modelFile("floor.obj", floorObj(10.0f, 0.0f, "", true, 200));
    Scene scene;
    load(scene, ambient(0.1f) + spotSection("spot", "0,4,0", "0,-1,0", "1,1,1", 12.5f, 17.5f) +
                    modelSection("floor", floor));
    Scene ambientScene;
    load(ambientScene, ambient(0.1f) + modelSection("floor", floor));
    const Image image = render(scene);
    const Image ambientImage = render(ambientScene);

    const float core = brightness(probe(image, {0, 0, 0}));
    const float floorLevel = brightness(probe(ambientImage, {3, 0, 0}));
    EXPECT_GT(core, floorLevel + 100.0f);
    // Inside the inner cone the light is nearly even: the distance grows from
    // 4.0 to 4.1 units and the highlight straight below narrows a little.
    EXPECT_NEAR(brightness(probe(image, {0.75f, 0, 0})), core, 8.0f);
    EXPECT_NEAR(brightness(probe(image, {0, 0, -0.75f})), core, 8.0f);
    // Beyond the outer cone only the ambient light is left.
    for (float r : {1.4f, 2.0f, 3.0f})
        EXPECT_NEAR(brightness(probe(image, {r, 0, 0})), floorLevel, 1.0f) << "at " << r;
    // The edge is a ramp, not a step: half-way between the cones the floor is
    // clearly between the core and the ambient level, and the light falls
    // steadily across the edge (1.5 levels allow for rounding and probes).
    const float middle = brightness(probe(image, {1.074f, 0, 0}));
    EXPECT_GT(middle, floorLevel + 20.0f);
    EXPECT_LT(middle, core - 20.0f);
    float previous = core;
    for (float r = 0.8f; r <= 1.4f; r += 0.04f) {
        const float value = brightness(probe(image, {r, 0, 0}));
        EXPECT_LE(value, previous + 1.5f) << "at " << r;
        previous = value;
    }
}

TEST_F(LitPassTest, AmbientFloorIsEvenAndScalesWithStrengthAndIsBlackWithoutLight)
{
    const std::string floor = modelFile("floor.obj", floorObj(10.0f));
    Scene none;
    load(none, modelSection("floor", floor));
    Scene weak;
    load(weak, ambient(0.1f) + modelSection("floor", floor));
    Scene strong;
    load(strong, ambient(0.4f) + modelSection("floor", floor));

    const Image black = render(none);
    const Image weakImage = render(weak);
    const Image strongImage = render(strong);
    // The floor covers the whole view.
    const glm::vec3 blackMean = black.mean(0, 0, size, size);
    EXPECT_EQ(brightness(blackMean), 0.0f);
    const float weakLevel = brightness(weakImage.mean(0, 0, size, size));
    const float strongLevel = brightness(strongImage.mean(0, 0, size, size));
    EXPECT_GT(weakLevel, 30.0f);
    EXPECT_GT(strongLevel, weakLevel + 30.0f);
    // Ambient light has no direction: no pixel differs from the mean by more
    // than one level.
    EXPECT_EQ(weakImage.fractionBrighterThan(0, 0, size, size, weakLevel + 1.0f), 0.0);
    EXPECT_EQ(weakImage.fractionBrighterThan(0, 0, size, size, weakLevel - 2.0f), 1.0);
}

TEST_F(LitPassTest, PointLightFallsOffWithDistance)
{
    const std::string floor = modelFile("floor.obj", floorObj(10.0f));
    Scene scene;
    load(scene, pointSection("bulb", "0,2,0", "1,1,1") + modelSection("floor", floor));
    const Image image = render(scene);
    const float near = brightness(probe(image, {0, 0, 0}));
    const float middle = brightness(probe(image, {2, 0, 0}));
    const float far = brightness(probe(image, {4, 0, 0}));
    EXPECT_GT(near, middle + 20.0f);
    EXPECT_GT(middle, far + 20.0f);
    EXPECT_GT(far, 0.0f);
}

TEST_F(LitPassTest, TextureColourShowsThroughAndUntexturedMeshesShowWhite)
{
    // Floor texture: left half red, right half blue (16 x 16 texels, so that
    // the trilinear filter keeps each half's colour away from the middle).
    dir.write("floor.mtl", "newmtl checker\nmap_Kd halves.png\n");
    dir.write("halves.png", "");
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 16 * 16; ++i)
        pixels.insert(pixels.end(), {static_cast<unsigned char>(i % 16 < 8 ? 255 : 0), 0,
                                     static_cast<unsigned char>(i % 16 < 8 ? 0 : 255), 255});
    stbi_write_png(dir.file("halves.png").c_str(), 16, 16, 4, pixels.data(), 64);
    const std::string textured = modelFile("floor.obj", floorObj(10.0f, 0.0f, "checker"));
    const std::string plain = modelFile("plain.obj", floorObj(2.0f, 0.5f));

    Scene scene;
    load(scene, ambient(0.3f) + pointSection("bulb", "0,3,0", "1,1,1") + modelSection("a_floor", textured) +
                    modelSection("b_plain", plain));
    const Image image = render(scene);
    const glm::vec3 left = probe(image, {-3.5f, 0, 0});
    const glm::vec3 right = probe(image, {3.5f, 0, 0});
    EXPECT_GT(left.r, 100.0f);
    EXPECT_LT(left.g, 5.0f);
    EXPECT_LT(left.b, 5.0f);
    EXPECT_GT(right.b, 100.0f);
    EXPECT_LT(right.r, 5.0f);
    EXPECT_LT(right.g, 5.0f);
    // The plain quad is drawn after the red and blue floor left its texture
    // bound: it must show neutral white light, not either colour.
    const glm::vec3 white = probe(image, {1.0f, 0.5f, 0.0f});
    EXPECT_GT(white.r, 100.0f);
    EXPECT_NEAR(white.r, white.g, 2.0f);
    EXPECT_NEAR(white.r, white.b, 2.0f);
}

TEST_F(LitPassTest, BrightLightsRollOffKeepingTheirHueInsteadOfClipping)
{
    // Linear values near 1.9, 0.95 and 0.5 at the centre (falloff 0.76 at
    // 2 units, plus the highlight): a plain clamp would make red and green
    // both 255.
    const std::string floor = modelFile("floor.obj", floorObj(10.0f));
    Scene scene;
    load(scene, pointSection("bulb", "0,2,0", "2,1,0.5") + modelSection("floor", floor));
    const glm::vec3 centre = probe(render(scene), {0, 0, 0});
    EXPECT_LT(centre.r, 254.0f);
    EXPECT_GT(centre.r, centre.g + 3.0f);
    EXPECT_GT(centre.g, centre.b + 3.0f);
}

TEST_F(LitPassTest, MeshWithoutNormalsIsShadedByItsFaceNotLeftDark)
{
    const std::string flat = modelFile("flat.obj", floorObj(10.0f, 0.0f, "", false));
    const std::string smooth = modelFile("smooth.obj", floorObj(10.0f));
    Scene withoutNormals;
    load(withoutNormals, pointSection("bulb", "0,3,0", "1,1,1") + modelSection("floor", flat));
    Scene withNormals;
    load(withNormals, pointSection("bulb", "0,3,0", "1,1,1") + modelSection("floor", smooth));
    const Image a = render(withoutNormals);
    const Image b = render(withNormals);
    // A flat floor's face normal is its vertex normal: the images agree.
    const ImageDifference difference = compareImages(a, b, 2);
    EXPECT_LE(difference.largest, 3); // derivative rounding at a few pixels
    EXPECT_LT(difference.failingShare, 0.01);
    EXPECT_GT(brightness(probe(a, {0, 0, 0})), 100.0f);
}

TEST_F(LitPassTest, LastSlotsOfBothLightArraysAreRead)
{
    // Sixteen point lights and eight spot lights, all black but the last of
    // each: the floor is lit only if the shader reads index 15 and index 7.
    const std::string floor = modelFile("floor.obj", floorObj(10.0f));
    std::string lights;
    for (int i = 0; i < 16; ++i)
        lights += pointSection("p" + std::string(1, static_cast<char>('a' + i)), "-3,2,0", i == 15 ? "1,1,1" : "0,0,0");
    for (int i = 0; i < 8; ++i)
        lights += spotSection("s" + std::string(1, static_cast<char>('a' + i)), "3,4,0", "0,-1,0",
                              i == 7 ? "1,1,1" : "0,0,0", 20.0f, 25.0f);
    // Lights past the arrays' ends are ignored without error.
    for (int i = 0; i < 4; ++i)
        lights += pointSection("z" + std::to_string(i), "0,1,0", "9,9,9");
    Scene scene;
    load(scene, lights + modelSection("floor", floor));
    ASSERT_EQ(scene.getPointLights().size(), 20u);
    const Image image = render(scene);
    EXPECT_GT(brightness(probe(image, {-3, 0, 0})), 100.0f);
    EXPECT_GT(brightness(probe(image, {3, 0, 0})), 100.0f);
}

// Shadows of the first spot light through the shadow map.
class LitPassShadowTest : public LitPassTest {
protected:
    // The frame loop's order: lit pass with the previous frame's map, shadow
    // pass, hand-over; so the map is made first here.
    Image renderWithShadows(Scene& scene, ShadowMap& shadows)
    {
        shadows.render(scene.getSpotLights(), scene.getModels());
        shadows.setUniforms(shader);
        return render(scene);
    }
};

TEST_F(LitPassShadowTest, OccluderDarkensTheFloorBelowAndNothingElse)
{
    // Spot straight down from 6 units; a cube of edge 0.8 floats at 3 units
    // and shadows a disc of radius about 0.7 around the origin. The camera
    // looks from the side, so the cube itself appears far from its shadow.
    const std::string floor = modelFile("floor.obj", floorObj(10.0f));
    const std::string box = modelFile("box.obj", boxObj(glm::vec3(0.4f)));
    lookAt({0, 10, 10}, {0, 0, 0}, {0, 1, 0});
    const std::string lights = ambient(0.1f) + spotSection("spot", "0,6,0", "0,-1,0", "1,1,1", 25.0f, 30.0f);
    Scene withBox;
    load(withBox, lights + modelSection("floor", floor) + modelSection("occluder", box, "position 0 0,3,0\n"));
    Scene withoutBox;
    load(withoutBox, lights + modelSection("floor", floor));
    Scene ambientScene;
    load(ambientScene, ambient(0.1f) + modelSection("floor", floor));

    ShadowMap shadows;
    shadows.setScreenSize(size, size);
    const Image shadowed = renderWithShadows(withBox, shadows);
    const Image open = renderWithShadows(withoutBox, shadows);
    const Image ambientOnly = render(ambientScene);

    // The shadow's core gets the ambient light only.
    EXPECT_NEAR(brightness(probe(shadowed, {0, 0, 0})), brightness(probe(ambientOnly, {0, 0, 0})), 2.0f);
    EXPECT_GT(brightness(probe(open, {0, 0, 0})), brightness(probe(ambientOnly, {0, 0, 0})) + 100.0f);
    // Lit floor outside the shadow is untouched: no acne, no stray shadow.
    for (const glm::vec3& p : {glm::vec3(1.6f, 0, 0), glm::vec3(-1.6f, 0, 0.5f), glm::vec3(0, 0, 2.0f),
                               glm::vec3(1.2f, 0, -1.2f), glm::vec3(2.2f, 0, 0.6f)})
        EXPECT_NEAR(brightness(probe(shadowed, p)), brightness(probe(open, p)), 1.0f)
            << p.x << ", " << p.z;
    // Over the whole lit floor without an occluder, the shadow test must not
    // darken anything either (self-shadowing would show as acne). The
    // reference is the same scene with the spot no longer the caster.
    shader->use();
    shader->setVec3("lightPosition", glm::vec3(100.0f));
    const Image reference = render(withoutBox);
    const ImageDifference acne = compareImages(open, reference, 1);
    EXPECT_LE(acne.largest, 1);
    EXPECT_EQ(acne.failingShare, 0.0);
}

TEST_F(LitPassShadowTest, ThinWallCastsItsWholeShadowStartingAtItsFoot)
{
    // A wall 0.08 thick, 1.5 high and 2 wide stands on the floor; the light
    // comes from +x, 40 degrees above the horizon at the wall's foot, and the
    // shadow reaches from the foot to x = -2.84. The light sees the wall's lit face
    // only 0.1 units in front of the floor behind it (about 8 texels), so a
    // bias that large loses the shadow: the wall would seem to float or glow.
    const std::string floor = modelFile("floor.obj", floorObj(10.0f));
    const std::string wall = modelFile("wall.obj", boxObj({0.04f, 0.75f, 1.0f}, {0, 0.75f, 0}));
    const std::string lights = ambient(0.1f) + spotSection("spot", "5,4.2,0", "-5,-4.2,0", "1,1,1", 30.0f, 35.0f);
    Scene withWall;
    load(withWall, lights + modelSection("floor", floor) + modelSection("wall", wall));
    Scene ambientScene;
    load(ambientScene, ambient(0.1f) + modelSection("floor", floor));
    ShadowMap shadows;
    shadows.setScreenSize(size, size);
    const Image image = renderWithShadows(withWall, shadows);
    const Image ambientOnly = render(ambientScene);

    const float ambientLevel = brightness(probe(ambientOnly, {-1.0f, 0, 0}));
    // From 0.2 units behind the foot to near the far end, across the width
    // (the probes span 0.08 units each way).
    for (const glm::vec3& p : {glm::vec3(-0.2f, 0, 0), glm::vec3(-1.0f, 0, 0.6f), glm::vec3(-1.6f, 0, -0.6f),
                               glm::vec3(-2.5f, 0, 0)})
        EXPECT_NEAR(brightness(probe(image, p)), ambientLevel, 2.0f) << p.x << ", " << p.z;
    // In front of the wall and beyond the shadow's end the floor is lit
    // (50 to 100 levels above the ambient floor).
    for (const glm::vec3& p : {glm::vec3(0.5f, 0, 0), glm::vec3(-3.3f, 0, 0), glm::vec3(-1.0f, 0, 1.4f)})
        EXPECT_GT(brightness(probe(image, p)), ambientLevel + 30.0f) << p.x << ", " << p.z;
}

TEST_F(LitPassShadowTest, BeforeTheFirstShadowPassEverythingIsLit)
{
    // The lit pass of the first frame runs before any shadow pass: the light
    // matrices are still zero (a fresh program) or identity (a fresh shadow
    // map), and the spot at "lightPosition" must light normally.
    const std::string floor = modelFile("floor.obj", floorObj(10.0f));
    Scene scene;
    load(scene, ambient(0.1f) + spotSection("spot", "0,4,0", "0,-1,0", "1,1,1", 30.0f, 35.0f) +
                    modelSection("floor", floor));
    shader->use();
    shader->setVec3("lightPosition", glm::vec3(100.0f));
    const Image reference = render(scene);
    shader->setVec3("lightPosition", glm::vec3(0, 4, 0));
    shader->setInt("shadowMap", 1);
    const Image zeroMatrices = render(scene);
    EXPECT_EQ(compareImages(zeroMatrices, reference, 0).largest, 0);

    ShadowMap shadows; // identity matrices, light position at the origin
    shadows.setUniforms(shader);
    shader->setVec3("lightPosition", glm::vec3(0, 4, 0));
    const Image identity = render(scene);
    EXPECT_EQ(compareImages(identity, reference, 0).largest, 0);
    EXPECT_GT(brightness(probe(reference, {0, 0, 0})), 150.0f);
}

TEST_F(LitPassShadowTest, FloorLitFromSteepToGrazingAnglesDoesNotShadowItself)
{
    // No occluder at all: with the spot as the shadow caster the image must
    // equal the one where it casts nothing. Depth-map rounding without a
    // slope-scaled bias would show here as acne (stripes or a darker floor).
    const std::string floor = modelFile("floor.obj", floorObj(10.0f));
    lookAt({0, 9, 9}, {0, 0, 0}, {0, 1, 0});
    for (const glm::vec3& position : {glm::vec3(0, 6, 0), glm::vec3(6, 2, 0), glm::vec3(8, 1, 1)}) {
        Scene scene;
        load(scene, ambient(0.1f) + spotSection("spot", "0,0,0", "0,-1,0", "1,1,1", 40.0f, 44.0f) +
                        modelSection("floor", floor));
        // Aimed at (-1, 0, 0) from each position.
        scene.getSpotLights()[0].position = position;
        scene.getSpotLights()[0].direction = glm::vec3(-1, 0, 0) - position;
        ShadowMap shadows;
        shadows.setScreenSize(size, size);
        const Image withShadows = renderWithShadows(scene, shadows);
        shader->setVec3("lightPosition", glm::vec3(100.0f));
        const Image reference = render(scene);
        // The ambient light alone gives 100 here; at the most grazing angle
        // the spot adds about 15.
        EXPECT_GT(brightness(probe(reference, {-1, 0, 0})), 108.0f) << "the spot misses the floor";
        const ImageDifference difference = compareImages(withShadows, reference, 1);
        EXPECT_LE(difference.largest, 1) << "light at " << position.x << ", " << position.y;
        EXPECT_EQ(difference.failingShare, 0.0) << "light at " << position.x << ", " << position.y;
    }
}
