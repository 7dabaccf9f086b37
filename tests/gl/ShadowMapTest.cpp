#include "GlContext.h"
#include "GlassFixtures.h"
#include "ImageProbe.h"
#include "TempDir.h"
#include "effects/ShadowMap.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/Shader.h"

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int mapSize = 1024;

// A square of side 2 * half in the plane y = 0, facing +y (counter-clockwise
// seen from above), so it survives back-face culling for a light above it.
std::shared_ptr<Model> floorQuad(float half, const glm::vec3& position, float transparency = 0.0f)
{
    const glm::vec3 up(0.0f, 1.0f, 0.0f);
    std::vector<Vertex> vertices = {
        {{-half, 0.0f, half}, up, {0.0f, 0.0f}},
        {{half, 0.0f, half}, up, {1.0f, 0.0f}},
        {{half, 0.0f, -half}, up, {1.0f, 1.0f}},
        {{-half, 0.0f, -half}, up, {0.0f, 1.0f}},
    };
    auto mesh = std::make_shared<Mesh>(vertices, std::vector<unsigned int>{0, 1, 2, 0, 2, 3}, std::vector<Texture>{});
    auto model = std::make_shared<Model>(std::vector<std::shared_ptr<Mesh>>{mesh});
    model->setPosition(position);
    model->setTransparency(transparency);
    return model;
}

SpotLight spot(const glm::vec3& position, const glm::vec3& direction, const glm::vec3& color = glm::vec3(1.0f))
{
    SpotLight light;
    light.position = position;
    light.direction = direction;
    light.color = color;
    light.innerRadius = 20.0f;
    light.outerRadius = 30.0f;
    return light;
}

// The light's view as designed: up = cross(x axis, direction).
glm::mat4 designedView(const SpotLight& light)
{
    const glm::vec3 d = glm::normalize(light.direction);
    return glm::lookAt(light.position, light.position + d, glm::cross(glm::vec3(1.0f, 0.0f, 0.0f), d));
}

// 90 degree perspective, aspect 1, near 0.1, far 100, element by element.
glm::mat4 designedProjection()
{
    const float t = tanf(0.7853982f);
    glm::mat4 p(0.0f);
    p[0][0] = 1.0f / (1.0f * t);
    p[1][1] = 1.0f / t;
    p[2][2] = -(100.0f + 0.1f) / (100.0f - 0.1f);
    p[2][3] = -1.0f;
    p[3][2] = -(2.0f * 100.0f * 0.1f) / (100.0f - 0.1f);
    return p;
}

// Window depth of a point `distance` in front of the light.
float depthAt(float distance)
{
    const glm::vec4 clip = designedProjection() * glm::vec4(0.0f, 0.0f, -distance, 1.0f);
    return clip.z / clip.w * 0.5f + 0.5f;
}

// Light-map rectangle (in normalised device coordinates) covered by a floor
// quad seen straight from above.
struct NdcRect {
    glm::vec2 low, high;
    // -1 outside by more than a texel, +1 inside by more than a texel,
    // 0 on the edge (left out of exact checks).
    int classify(const glm::vec2& ndc, float margin) const
    {
        if (glm::all(glm::greaterThan(ndc, low + margin)) && glm::all(glm::lessThan(ndc, high - margin)))
            return 1;
        if (glm::any(glm::lessThan(ndc, low - margin)) || glm::any(glm::greaterThan(ndc, high + margin)))
            return -1;
        return 0;
    }
};

NdcRect project(const glm::mat4& lightSpace, const glm::vec3& centre, float half)
{
    NdcRect rect{glm::vec2(2.0f), glm::vec2(-2.0f)};
    for (float dx : {-half, half})
        for (float dz : {-half, half}) {
            const glm::vec4 clip = lightSpace * glm::vec4(centre + glm::vec3(dx, 0.0f, dz), 1.0f);
            const glm::vec2 ndc = glm::vec2(clip) / clip.w;
            rect.low = glm::min(rect.low, ndc);
            rect.high = glm::max(rect.high, ndc);
        }
    return rect;
}

glm::vec2 texelNdc(int i, int j) { return (glm::vec2(i, j) + 0.5f) / float(mapSize) * 2.0f - 1.0f; }

class ShadowMapTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        // The frame loop's state when the shadow pass runs.
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        testing::internal::CaptureStdout();
        shadow = std::make_unique<ShadowMap>();
        constructionOutput = testing::internal::GetCapturedStdout();
        shadow->setScreenSize(200, 150);
    }
    void TearDown() override
    {
        shadow.reset();
        GlTest::TearDown();
    }

    std::unique_ptr<ShadowMap> shadow;
    std::string constructionOutput;
};

} // namespace

TEST_F(ShadowMapTest, BuildsCompleteDepthTargetAndStartsWithNeutralLight)
{
    EXPECT_EQ(constructionOutput, "") << "no framebuffer or shader complaint expected";

    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);

    glBindTexture(GL_TEXTURE_2D, shadow->getDepthTexture());
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &value);
    EXPECT_EQ(value, 1024);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &value);
    EXPECT_EQ(value, 1024);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_DEPTH_SIZE, &value);
    EXPECT_GE(value, 16);
    const std::pair<GLenum, GLint> parameters[] = {{GL_TEXTURE_MIN_FILTER, GL_NEAREST},
                                                   {GL_TEXTURE_MAG_FILTER, GL_NEAREST},
                                                   {GL_TEXTURE_WRAP_S, GL_REPEAT},
                                                   {GL_TEXTURE_WRAP_T, GL_REPEAT},
                                                   {GL_TEXTURE_COMPARE_MODE, GL_NONE}};
    for (const auto& [name, expected] : parameters) {
        glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
        EXPECT_EQ(value, expected) << "texture parameter 0x" << std::hex << name;
    }

    glBindFramebuffer(GL_FRAMEBUFFER, shadow->getFramebuffer());
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &value);
    EXPECT_EQ(static_cast<GLuint>(value), shadow->getDepthTexture());
    glGetIntegerv(GL_DRAW_BUFFER, &value);
    EXPECT_EQ(value, GL_NONE);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    EXPECT_EQ(shadow->getLightSpaceMatrix(), glm::mat4(1.0f));
    EXPECT_EQ(shadow->getLightSpaceViewMatrix(), glm::mat4(1.0f));
    EXPECT_EQ(shadow->getLightSpaceProjMatrix(), glm::mat4(1.0f));
    EXPECT_EQ(shadow->getLightPosition(), glm::vec3(0.0f));
    EXPECT_EQ(shadow->getLightColor(), glm::vec3(0.0f));

    EXPECT_FALSE(shadow->isDebugViewOn());
    shadow->toggleDebugView();
    EXPECT_TRUE(shadow->isDebugViewOn());
    shadow->toggleDebugView();
    EXPECT_FALSE(shadow->isDebugViewOn());
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

// A floor quad seen from a light straight above: the map holds its depth
// where the light sees it and 1 everywhere else; a transparent quad nearer
// to the light leaves nothing; a second spot light is ignored.
TEST_F(ShadowMapTest, RenderWritesDepthOfOpaqueModelsOnlyAndRestoresWindowTarget)
{
    const glm::vec3 quadCentre(1.0f, 0.0f, -1.0f);
    std::vector<std::shared_ptr<Model>> models = {
        // Covers the whole light frustum at distance 3: drawn, it would fill the map.
        floorQuad(3.5f, glm::vec3(0.0f, 2.0f, 0.0f), 0.5f),
        floorQuad(1.0f, quadCentre),
    };
    std::vector<SpotLight> lights = {spot(glm::vec3(0, 5, 0), glm::vec3(0, -1, 0), glm::vec3(0.9f, 0.8f, 0.7f)),
                                     spot(glm::vec3(0, 20, 0), glm::vec3(0, -1, 0.2f))};

    glViewport(0, 0, 17, 19);
    testing::internal::CaptureStdout();
    shadow->render(lights, models);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 200);
    EXPECT_EQ(viewport[3], 150);
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));

    const glm::mat4 view = designedView(lights[0]);
    EXPECT_EQ(shadow->getLightSpaceViewMatrix(), view);
    EXPECT_EQ(shadow->getLightSpaceProjMatrix(), designedProjection());
    EXPECT_EQ(shadow->getLightSpaceMatrix(), designedProjection() * view);
    EXPECT_EQ(shadow->getLightPosition(), lights[0].position);
    EXPECT_EQ(shadow->getLightColor(), lights[0].color);

    // Up is -z and right is +x for this light, so the quad lies in the
    // upper right part of the map, ndc [0, 0.4] on both axes.
    const NdcRect rect = project(shadow->getLightSpaceMatrix(), quadCentre, 1.0f);
    EXPECT_NEAR(rect.low.x, 0.0f, 1e-5f);
    EXPECT_NEAR(rect.high.y, 0.4f, 1e-5f);

    const std::vector<float> depth = textureDepth(shadow->getDepthTexture(), mapSize);
    const float expected = depthAt(5.0f);
    const float texel = 2.0f / mapSize;
    int inside = 0, outside = 0, wrongInside = 0, wrongOutside = 0;
    for (int j = 0; j < mapSize; ++j)
        for (int i = 0; i < mapSize; ++i) {
            const float d = depth[static_cast<size_t>(j) * mapSize + i];
            switch (rect.classify(texelNdc(i, j), texel)) {
            case 1:
                ++inside;
                // 1e-5 is about a millimetre at 5 units, far above the
                // depth format's rounding and far below any other surface.
                wrongInside += std::fabs(d - expected) > 1e-5f;
                break;
            case -1:
                ++outside;
                wrongOutside += d != 1.0f;
                break;
            }
        }
    EXPECT_GT(inside, 200 * 200);
    EXPECT_GT(outside, 900 * 900);
    EXPECT_EQ(wrongInside, 0) << "the quad's depth is " << expected;
    EXPECT_EQ(wrongOutside, 0) << "the transparent quad or stale depth shows";
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(ShadowMapTest, PassWithoutSpotLightClearsMapAndKeepsLastLight)
{
    std::vector<std::shared_ptr<Model>> models = {floorQuad(1.0f, glm::vec3(0.0f))};
    std::vector<SpotLight> lights = {spot(glm::vec3(0, 5, 0), glm::vec3(0, -1, 0), glm::vec3(1, 0, 0))};
    shadow->render(lights, models);
    const glm::mat4 lightSpace = shadow->getLightSpaceMatrix();
    ASSERT_LT(textureDepth(shadow->getDepthTexture(), mapSize)[512 * mapSize + 512], 1.0f);

    std::vector<SpotLight> none;
    std::vector<std::shared_ptr<Model>> empty;
    shadow->render(none, empty);
    EXPECT_EQ(shadow->getLightSpaceMatrix(), lightSpace);
    EXPECT_EQ(shadow->getLightPosition(), glm::vec3(0, 5, 0));
    EXPECT_EQ(shadow->getLightColor(), glm::vec3(1, 0, 0));
    const std::vector<float> depth = textureDepth(shadow->getDepthTexture(), mapSize);
    int notCleared = 0;
    for (float d : depth)
        notCleared += d != 1.0f;
    EXPECT_EQ(notCleared, 0);

    // Without a light the models still draw, with the last light's matrix.
    shadow->render(none, models);
    EXPECT_FLOAT_EQ(textureDepth(shadow->getDepthTexture(), mapSize)[512 * mapSize + 512], depthAt(5.0f));
}

TEST_F(ShadowMapTest, PassReportsPendingOpenGlErrorsAndDrainsTheQueue)
{
    std::vector<SpotLight> lights = {spot(glm::vec3(0, 5, 0), glm::vec3(0, -1, 0))};
    std::vector<std::shared_ptr<Model>> models;
    glEnable(0x1234); // GL_INVALID_ENUM, 1280, left pending from before the pass
    testing::internal::CaptureStdout();
    shadow->render(lights, models);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Shadow Map OpenGL Error: 1280\n");
    EXPECT_TRUE(GlContext::drainErrors().empty()) << "the queue is left drained";
}

// Both receiving programs of the frame get the light matrices, position,
// colour and "shadowMap" = unit 1, which stays active with the map bound.
TEST_F(ShadowMapTest, SetUniformsHandsLightAndUnitOneToReceivingPrograms)
{
    std::vector<std::shared_ptr<Model>> models;
    std::vector<SpotLight> lights = {spot(glm::vec3(2, 6, 1), glm::vec3(-1, -3, 0.5f), glm::vec3(0.5f, 0.25f, 1))};
    shadow->render(lights, models);

    TempDir dir;
    dir.write("receiver.vert", R"(#version 430 core
layout(location = 0) in vec3 position;
uniform mat4 lightSpaceMatrix;
uniform mat4 lightSpaceViewMatrix;
uniform mat4 lightSpaceProjMatrix;
uniform vec3 lightPosition;
out vec4 lightClip;
out vec3 toLight;
void main()
{
    lightClip = lightSpaceMatrix * lightSpaceProjMatrix * lightSpaceViewMatrix * vec4(position, 1.0);
    toLight = lightPosition - position;
    gl_Position = vec4(position, 1.0);
}
)");
    dir.write("receiver.frag", R"(#version 430 core
in vec4 lightClip;
in vec3 toLight;
uniform sampler2D shadowMap;
uniform vec3 lightColor;
out vec4 fragColor;
void main() { fragColor = vec4(lightColor * texture(shadowMap, lightClip.xy).r + toLight, 1.0); }
)");
    // Each program with the light uniforms it declares and uses: all six for
    // the own receiver; the scene's lit program reads the light matrix, the
    // projection, the position and the map; the composite also the colour.
    struct Receiver {
        std::string name;
        std::shared_ptr<Shader> shader;
        std::set<std::string> reads;
    };
    const std::vector<Receiver> receivers = {
        {"own receiver",
         Shader::build(dir.file("receiver.vert"), dir.file("receiver.frag")),
         {"lightSpaceMatrix", "lightSpaceViewMatrix", "lightSpaceProjMatrix", "lightPosition", "lightColor",
          "shadowMap"}},
        {"simpletextured",
         Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag"),
         {"lightSpaceMatrix", "lightSpaceProjMatrix", "lightPosition", "shadowMap"}},
        {"postprocessing",
         Shader::build("shader/postprocessing.vert", "shader/postprocessing.frag"),
         {"lightSpaceMatrix", "lightSpaceProjMatrix", "lightPosition", "lightColor", "shadowMap"}},
    };

    const std::pair<const char*, glm::mat4> matrices[] = {
        {"lightSpaceMatrix", shadow->getLightSpaceMatrix()},
        {"lightSpaceViewMatrix", shadow->getLightSpaceViewMatrix()},
        {"lightSpaceProjMatrix", shadow->getLightSpaceProjMatrix()}};
    const std::pair<const char*, glm::vec3> vectors[] = {{"lightPosition", glm::vec3(2, 6, 1)},
                                                         {"lightColor", glm::vec3(0.5f, 0.25f, 1)}};
    for (const Receiver& receiver : receivers) {
        SCOPED_TRACE(receiver.name);
        glActiveTexture(GL_TEXTURE0);
        glUseProgram(0);
        shadow->setUniforms(receiver.shader);

        const GLuint program = receiver.shader->getProgram();
        GLint value = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &value);
        EXPECT_EQ(static_cast<GLuint>(value), program);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
        EXPECT_EQ(value, GL_TEXTURE1);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
        EXPECT_EQ(static_cast<GLuint>(value), shadow->getDepthTexture());

        // Every light uniform the program has active must hold the light's
        // value, and the active ones must be exactly those it reads.
        std::set<std::string> active;
        for (const auto& [name, expected] : matrices) {
            const GLint location = glGetUniformLocation(program, name);
            if (location < 0)
                continue;
            glm::mat4 got(0.0f);
            glGetUniformfv(program, location, glm::value_ptr(got));
            EXPECT_EQ(got, expected) << name;
            active.insert(name);
        }
        for (const auto& [name, expected] : vectors) {
            const GLint location = glGetUniformLocation(program, name);
            if (location < 0)
                continue;
            glm::vec3 got(0.0f);
            glGetUniformfv(program, location, glm::value_ptr(got));
            EXPECT_EQ(got, expected) << name;
            active.insert(name);
        }
        const GLint sampler = glGetUniformLocation(program, "shadowMap");
        if (sampler >= 0) {
            GLint unit = -1;
            glGetUniformiv(program, sampler, &unit);
            EXPECT_EQ(unit, 1);
            active.insert("shadowMap");
        }
        EXPECT_EQ(active, receiver.reads);
    }
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

// Two floor quads at 5 and 50 units below the light, in different corners
// of its view. With back faces culled, the debug view must show the map in
// the upper right quarter, the right way round (texel (0, 0) at the quarter's
// lower left), as grey by distance (5/100 and 50/100 of the way to the far
// plane, display-encoded), and white where the light sees nothing.
TEST_F(ShadowMapTest, DebugViewShowsLinearDepthRightWayRoundInUpperRightQuarter)
{
    const int size = 256;
    shadow->setScreenSize(size, size);
    const glm::vec3 nearCentre(1.0f, 0.0f, -1.0f), farCentre(-15.0f, -45.0f, 15.0f);
    std::vector<std::shared_ptr<Model>> models = {floorQuad(1.0f, nearCentre), floorQuad(10.0f, farCentre)};
    std::vector<SpotLight> lights = {spot(glm::vec3(0, 5, 0), glm::vec3(0, -1, 0))};
    shadow->render(lights, models);
    const NdcRect nearRect = project(shadow->getLightSpaceMatrix(), nearCentre, 1.0f);
    const NdcRect farRect = project(shadow->getLightSpaceMatrix(), farCentre, 10.0f);

    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    shadow->drawDebug(); // off: draws nothing
    EXPECT_EQ(GlContext::readImage(size, size).at(200, 50), glm::vec3(255, 0, 0));

    shadow->toggleDebugView();
    shadow->drawDebug();
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    GLint value = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &value);
    EXPECT_EQ(value, GL_BACK);
    const Image shot = GlContext::readImage(size, size);
    shot.savePng(::testing::TempDir() + "shadow-debug-view.png");

    // Expected picture: each window pixel of the quarter samples the texel
    // under its centre (nearest filtering); the rest keeps the clear colour.
    Image expected = shot;
    // Linear in distance over [0, far], encoded for display with a 1/2.2 power.
    const auto grey = [](float distance) {
        return static_cast<unsigned char>(std::lround(std::pow(distance / 100.0f, 1.0f / 2.2f) * 255));
    };
    for (int y = 0; y < size; ++y)       // y from the top
        for (int x = 0; x < size; ++x) {
            unsigned char* p = &expected.rgb[(static_cast<size_t>(y) * size + x) * 3];
            const int row = size - 1 - y; // from the bottom, like GL
            if (x < size / 2 || row < size / 2) {
                p[0] = 255, p[1] = 0, p[2] = 0;
                continue;
            }
            const glm::vec2 uv((x + 0.5f - size / 2) / (size / 2), (row + 0.5f - size / 2) / (size / 2));
            const glm::ivec2 texel = glm::ivec2(uv * float(mapSize));
            const glm::vec2 ndc = texelNdc(texel.x, texel.y);
            unsigned char g = 255;
            if (nearRect.classify(ndc, 0.0f) == 1)
                g = grey(5.0f);
            else if (farRect.classify(ndc, 0.0f) == 1)
                g = grey(50.0f);
            p[0] = p[1] = p[2] = g;
        }
    // A channel may be off by 2: the grey is rounded to 8 bits after a
    // float division. Up to 0.5% of pixels may differ more: texel centres
    // that lie exactly on a quad edge fall to either side with the GPU's
    // rasterisation rounding; a mirrored or culled view fails 10% or more.
    const ImageDifference difference = compareImages(shot, expected, 2);
    EXPECT_LE(difference.failingShare, 0.005) << "largest difference " << difference.largest;
    // The near quad is the dark patch in the quarter's upper right, the far
    // one the lighter patch at its lower left.
    EXPECT_LT(shot.mean(200, 50, 210, 60).x, 80.0f);
    EXPECT_GT(shot.mean(165, 75, 180, 90).x, 160.0f);
    EXPECT_LT(shot.mean(165, 75, 180, 90).x, 220.0f);
    EXPECT_TRUE(GlContext::drainErrors().empty());
}
