#include "GlassFixtures.h"
#include "effects/ShadowMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

// The three captures of the transparent models, read back texel by texel
// and checked against ray-sphere intersections worked out here.
namespace {

class CaptureTest : public GlassRigTest {
protected:
    void capture(Scene& scene)
    {
        rig->captures->render(scene, view, rig->projection);
        EXPECT_TRUE(GlContext::drainErrors().empty());
    }

    // View-space z of a stored window depth.
    float viewZ(float depth) const
    {
        const float zNdc = depth * 2.0f - 1.0f;
        return -rig->projection[3][2] / (zNdc + rig->projection[2][2]);
    }

    // View ray (z = -1) through the centre of window pixel (x, y), y up.
    glm::vec3 ray(int x, int y) const
    {
        const glm::vec2 ndc = (glm::vec2(x, y) + 0.5f) / static_cast<float>(size) * 2.0f - 1.0f;
        return glm::vec3(ndc.x / rig->projection[0][0], ndc.y / rig->projection[1][1], -1.0f);
    }

    // Ray parameters of where the ray meets a view-space sphere (entry, exit),
    // or nothing when it misses.
    static bool hit(const glm::vec3& direction, const glm::vec3& centre, float radius, float& entry, float& exit)
    {
        const float a = glm::dot(direction, direction);
        const float b = glm::dot(direction, centre);
        const float disc = b * b - a * (glm::dot(centre, centre) - radius * radius);
        if (disc <= 0.0f)
            return false;
        entry = (b - std::sqrt(disc)) / a;
        exit = (b + std::sqrt(disc)) / a;
        return true;
    }

    static size_t texel(int x, int y) { return static_cast<size_t>(y * size + x); }
};

} // namespace

TEST_F(CaptureTest, BuildsThreeProgramsAndThreeCompleteTargetsSharingTheTestQuad)
{
    const RefractionCaptures& captures = *rig->captures;
    const std::shared_ptr<PostProcFramebuffer> targets[3] = {
        captures.getFrontTarget(), captures.getBackTarget(), captures.getReflectionRefractionTarget()};
    for (const auto& target : targets) {
        target->bind();
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        EXPECT_EQ(target->getShader(), targets[0]->getShader()) << "all hold the one test-quad program";
    }
    EXPECT_NE(targets[0]->getFramebuffer(), targets[1]->getFramebuffer());
    EXPECT_NE(targets[1]->getFramebuffer(), targets[2]->getFramebuffer());
    for (GLuint program : {targets[0]->getShader()->getProgram(), captures.getNormalShader()->getProgram(),
                           captures.getRRTestShader()->getProgram()}) {
        GLint linked = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        EXPECT_TRUE(linked);
    }
    EXPECT_NE(captures.getNormalShader(), captures.getRRTestShader());
}

TEST_F(CaptureTest, FrontKeepsNearestFrontFaceAndBackTheNearestBackFace)
{
    // Two glass spheres that overlap on screen and in depth, B sticking out
    // of A's side: along some rays the nearest front face is A's and the
    // nearest back face B's.
    const glm::vec3 centreA(-0.4f, 0.0f, -6.0f);
    const glm::vec3 centreB(0.6f, 0.1f, -6.2f);
    const float radiusA = 1.2f;
    const float radiusB = 0.6f;
    Scene scene;
    scene.getModels().push_back(placeModel(sphereMesh(radiusA, solidTexture({200, 100, 50})), centreA, 1.0f));
    scene.getModels().push_back(placeModel(sphereMesh(radiusB, solidTexture({200, 100, 50})), centreB, 0.5f));
    capture(scene);

    const RefractionCaptures& captures = *rig->captures;
    const std::vector<float> front = textureDepth(captures.getFrontTarget()->getDepthTexture(), size);
    const std::vector<float> back = textureDepth(captures.getBackTarget()->getDepthTexture(), size);
    const std::vector<float> rr = textureDepth(captures.getReflectionRefractionTarget()->getDepthTexture(), size);
    const std::vector<unsigned char> frontNormal = textureRgb(captures.getFrontTarget()->getColorTexture(), size);
    const std::vector<unsigned char> backNormal = textureRgb(captures.getBackTarget()->getColorTexture(), size);
    const std::vector<unsigned char> frontColour = textureRgb(captures.getFrontTarget()->getColor2Texture(), size);

    int checked = 0, mixed = 0;
    for (int y = 8; y < size; y += 16)
        for (int x = 4; x < size; x += 8) {
            const glm::vec3 d = ray(x, y);
            float inA = 0, outA = 0, inB = 0, outB = 0;
            const bool hitA = hit(d, centreA, radiusA, inA, outA);
            const bool hitB = hit(d, centreB, radiusB, inB, outB);
            const size_t i = texel(x, y);
            if (!hitA && !hitB) {
                EXPECT_EQ(front[i], 1.0f) << x << "," << y;
                EXPECT_EQ(back[i], 1.0f) << x << "," << y;
                continue;
            }
            // Skip rays that graze a silhouette, where the tessellated
            // sphere and the true one part.
            float entryA = 0, exitA = 0, entryB = 0, exitB = 0;
            if (hit(d, centreA, radiusA * 1.02f, entryA, exitA) != hit(d, centreA, radiusA * 0.98f, entryA, exitA) ||
                hit(d, centreB, radiusB * 1.02f, entryB, exitB) != hit(d, centreB, radiusB * 0.98f, entryB, exitB))
                continue;
            const float entry = hitA && hitB ? std::min(inA, inB) : (hitA ? inA : inB);
            const float exit = hitA && hitB ? std::min(outA, outB) : (hitA ? outA : outB);
            mixed += hitA && hitB && (inA < inB) != (outA < outB);
            // Depth as view z, within the tessellation's 0.4 % of a radius.
            EXPECT_NEAR(viewZ(front[i]), -entry, 0.02f) << x << "," << y;
            EXPECT_NEAR(viewZ(back[i]), -exit, 0.02f) << x << "," << y;
            EXPECT_EQ(rr[i], front[i]) << "the third capture sees what the front one sees";

            ++checked;
            // Outward normals, remapped to [0, 1], within 6 of 255 (vertex
            // normals interpolated across facets, 8-bit storage); not where
            // the two bodies' surfaces cross, as which one is nearer there
            // depends on the facets.
            if (hitA && hitB && (std::abs(inA - inB) < 0.05f || std::abs(outA - outB) < 0.05f))
                continue;
            const bool frontIsA = hitA && (!hitB || inA < inB);
            const bool backIsA = hitA && (!hitB || outA < outB);
            const glm::vec3 nFront = glm::normalize(entry * d - (frontIsA ? centreA : centreB));
            const glm::vec3 nBack = glm::normalize(exit * d - (backIsA ? centreA : centreB));
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(frontNormal[i * 3 + c], (nFront[c] * 0.5f + 0.5f) * 255.0f, 6.0f) << x << "," << y;
                EXPECT_NEAR(backNormal[i * 3 + c], (nBack[c] * 0.5f + 0.5f) * 255.0f, 6.0f) << x << "," << y;
            }
            // The surface colour: the texel as stored.
            EXPECT_NEAR(frontColour[i * 3], 200, 1);
            EXPECT_NEAR(frontColour[i * 3 + 1], 100, 1);
            EXPECT_NEAR(frontColour[i * 3 + 2], 50, 1);
        }
    EXPECT_GT(checked, 60);
    EXPECT_GT(mixed, 3) << "some rays enter A and leave through B's far side first";
}

TEST_F(CaptureTest, InsideABodyOnlyTheBackCaptureSeesIt)
{
    Scene scene;
    scene.getModels().push_back(placeModel(sphereMesh(3.0f, solidTexture({255, 255, 255})), {0, 0, -1}, 1.0f));
    capture(scene);
    const size_t centre = texel(size / 2, size / 2);
    EXPECT_EQ(textureDepth(rig->captures->getFrontTarget()->getDepthTexture(), size)[centre], 1.0f);
    EXPECT_NEAR(viewZ(textureDepth(rig->captures->getBackTarget()->getDepthTexture(), size)[centre]), -4.0f, 0.02f);
}

TEST_F(CaptureTest, ReflectionRefractionCaptureHoldsMaterialAndTheLitPassColour)
{
    // A lit sphere, once as glass for the captures, once opaque for the lit
    // pass, under the same point light.
    auto mesh = sphereMesh(1.5f, makeTexture(16, 16, [](int x, int y) {
        return glm::u8vec3(40 + 12 * x, 200 - 10 * y, 90);
    }));
    const glm::vec3 position(0.3f, -0.2f, -6.0f);
    Scene glass;
    glass.getModels().push_back(placeModel(mesh, position, 0.9f, 0.66f, 0.3f));
    Scene opaque;
    opaque.getModels().push_back(placeModel(mesh, position, 0.0f));
    for (Scene* scene : {&glass, &opaque})
        scene->getPointLights().push_back(PointLight{{2.0f, 3.0f, -2.0f}, {1.5f, 1.4f, 1.2f}});
    view = glm::lookAt(glm::vec3(0.5f, 0.5f, 0.0f), position, glm::vec3(0, 1, 0));
    capture(glass);

    testing::internal::CaptureStdout();
    auto lit = Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag");
    auto litTarget = std::make_shared<PostProcFramebuffer>(size, size, lit);
    ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
    litTarget->bindAndClear();
    lit->use();
    lit->setMat4("view", view);
    lit->setMat4("projection", rig->projection);
    opaque.draw(lit, false);
    litTarget->unbind();

    const auto& rrTarget = *rig->captures->getReflectionRefractionTarget();
    const std::vector<unsigned char> material = textureRgb(rrTarget.getColor2Texture(), size);
    const std::vector<unsigned char> own = textureRgb(rrTarget.getColorTexture(), size);
    const std::vector<unsigned char> reference = textureRgb(litTarget->getColorTexture(), size);
    const std::vector<float> depth = textureDepth(rrTarget.getDepthTexture(), size);
    int covered = 0, differing = 0, largest = 0;
    for (size_t i = 0; i < depth.size(); ++i) {
        if (depth[i] == 1.0f)
            continue;
        ++covered;
        // refraction * 127 / 255, reflection, transparency
        EXPECT_NEAR(material[i * 3], 0.66f * 127.0f, 1.0f);
        EXPECT_NEAR(material[i * 3 + 1], 0.3f * 255.0f, 1.0f);
        EXPECT_NEAR(material[i * 3 + 2], 0.9f * 255.0f, 1.0f);
        int worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(own[i * 3 + c] - reference[i * 3 + c]));
        largest = std::max(largest, worst);
        differing += worst > 1;
    }
    EXPECT_GT(covered, 2000);
    // The same lighting in two programs: float evaluation order may move a
    // channel by one step; two steps anywhere, or one step on more than 1 %
    // of the body, would be a different shading.
    EXPECT_LE(largest, 2);
    EXPECT_LE(differing, covered / 100);
    // And it is lit, not black.
    EXPECT_GT(*std::max_element(own.begin(), own.end()), 100);
}

TEST_F(CaptureTest, OpaqueModelsLeaveEveryCaptureClearedFrameAfterFrame)
{
    Scene glass;
    glass.getModels().push_back(placeModel(sphereMesh(1.0f, solidTexture({255, 255, 255})), {0, 0, -4}, 1.0f));
    capture(glass);
    ASSERT_LT(textureDepth(rig->captures->getFrontTarget()->getDepthTexture(), size)[texel(128, 128)], 1.0f);

    // Transparency 0 and above 1 are opaque; together they fill the window.
    Scene opaque;
    opaque.getModels().push_back(placeModel(sphereMesh(1.0f, solidTexture({255, 255, 255})), {0, 0, -4}, 0.0f));
    opaque.getModels().push_back(
        placeModel(quadMesh({1, 0, 0}, {0, 1, 0}, 20.0f, 20.0f, solidTexture({255, 255, 255})), {0, 0, -8}, 1.5f));
    capture(opaque);
    expectCleared(*rig->captures->getFrontTarget(), size, "front");
    expectCleared(*rig->captures->getBackTarget(), size, "back");
    expectCleared(*rig->captures->getReflectionRefractionTarget(), size, "reflection/refraction");
    EXPECT_TRUE(rig->captures->getGlassRegions().empty());

    GLint framebuffer = -1, culled = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_CULL_FACE_MODE, &culled);
    EXPECT_EQ(framebuffer, 0);
    EXPECT_EQ(culled, GL_BACK);
}

TEST_F(CaptureTest, LitPassAndShadowTakeTransparency0And1Point5ButNot1)
{
    const float transparencies[3] = {0.0f, 1.5f, 1.0f};
    const glm::vec3 centres[3] = {{-3.0f, 0.0f, -9.0f}, {0.0f, 0.0f, -9.0f}, {3.0f, 0.0f, -9.0f}};
    Scene scene;
    for (int i = 0; i < 3; ++i)
        scene.getModels().push_back(
            placeModel(sphereMesh(1.0f, solidTexture({255, 255, 255})), centres[i], transparencies[i]));
    scene.getSpotLights().push_back(SpotLight{{0.0f, 8.0f, -9.0f}, {0.0f, -1.0f, 0.0f}, {1, 1, 1}, 40.0f, 50.0f});

    // The lit pass as the frame runs it, into a target of its own.
    testing::internal::CaptureStdout();
    auto lit = Shader::build("shader/simpletextured.vert", "shader/simpletextured.frag");
    auto litTarget = std::make_shared<PostProcFramebuffer>(size, size, lit);
    ShadowMap shadow;
    ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
    shadow.setScreenSize(size, size);
    capture(scene);
    litTarget->bindAndClear();
    lit->use();
    lit->setMat4("view", view);
    lit->setMat4("projection", rig->projection);
    scene.draw(lit, false);
    testing::internal::CaptureStdout();
    shadow.render(scene.getSpotLights(), scene.getModels());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    const std::vector<float> litDepth = textureDepth(litTarget->getDepthTexture(), size);
    const std::vector<float> frontDepth = textureDepth(rig->captures->getFrontTarget()->getDepthTexture(), size);
    GLint shadowSize = 0;
    glBindTexture(GL_TEXTURE_2D, shadow.getDepthTexture());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &shadowSize);
    const std::vector<float> shadowDepth = textureDepth(shadow.getDepthTexture(), shadowSize);
    for (int i = 0; i < 3; ++i) {
        const glm::ivec2 p = rig->pixelOf(centres[i], view);
        const size_t onScreen = texel(p.x, size - 1 - p.y);
        // Where the light sees the sphere's top.
        const glm::vec4 clip = shadow.getLightSpaceMatrix() * glm::vec4(centres[i] + glm::vec3(0, 1, 0), 1.0f);
        const glm::ivec2 m((glm::vec2(clip) / clip.w * 0.5f + 0.5f) * static_cast<float>(shadowSize));
        const float stored = shadowDepth[static_cast<size_t>(m.y * shadowSize + m.x)];
        const bool opaque = i < 2;
        EXPECT_EQ(litDepth[onScreen] < 1.0f, opaque) << "transparency " << transparencies[i];
        EXPECT_EQ(stored < 1.0f, opaque) << "shadow of transparency " << transparencies[i];
        EXPECT_EQ(frontDepth[onScreen] < 1.0f, !opaque) << "capture of transparency " << transparencies[i];
    }
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(CaptureTest, GlassRegionsHoldEveryGlassPixelAndLittleElse)
{
    // Glass pixels (front depth below 1) outside every region, and all the
    // glass pixels.
    const auto coverage = [&](long& glass, long& outside) {
        const std::vector<glm::ivec4>& regions = rig->captures->getGlassRegions();
        const std::vector<float> front = textureDepth(rig->captures->getFrontTarget()->getDepthTexture(), size);
        glass = outside = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                if (front[texel(x, y)] == 1.0f)
                    continue;
                ++glass;
                outside += std::none_of(regions.begin(), regions.end(), [&](const glm::ivec4& r) {
                    return x >= r.x && x < r.x + r.z && y >= r.y && y < r.y + r.w;
                });
            }
    };
    Scene scene;
    // Two bodies far apart, one behind the eye, one opaque.
    scene.getModels().push_back(placeModel(sphereMesh(1.0f, solidTexture({255, 255, 255})), {-2.5f, 1.0f, -8}, 1.0f));
    scene.getModels().push_back(placeModel(sphereMesh(0.7f, solidTexture({255, 255, 255})), {2.0f, -1.5f, -7}, 0.5f));
    scene.getModels().push_back(placeModel(sphereMesh(1.0f, solidTexture({255, 255, 255})), {0, 0, 6}, 0.5f));
    scene.getModels().push_back(placeModel(sphereMesh(2.0f, solidTexture({255, 255, 255})), {0, 0, -9}, 0.0f));
    capture(scene);
    const std::vector<glm::ivec4>& regions = rig->captures->getGlassRegions();
    ASSERT_EQ(regions.size(), 2u) << "one per visible body; none for the one behind";
    long glass = 0, outside = 0, area = 0;
    coverage(glass, outside);
    for (const glm::ivec4& r : regions)
        area += static_cast<long>(r.z) * r.w;
    EXPECT_EQ(outside, 0) << "glass pixels outside every region would never be composited";
    EXPECT_GT(glass, 1000);
    // An outline fills pi / 4 of its bounding rectangle; with the spare
    // pixel on each side these small ones hold at most about 1.45 times
    // their glass. A looser bound (such as a box around the sphere) would
    // shade 1.7 times or more.
    EXPECT_LT(area, glass * 8 / 5);

    // A long thin body in front of the eye: its rectangle follows the
    // outline of its vertices, not the sphere around them (ten times its
    // area here). The spare pixel on each side keeps the ratio above 1.
    Scene rod;
    rod.getModels().push_back(
        placeModel(quadMesh({1, 0, 0}, {0, 1, 0}, 2.0f, 0.2f, solidTexture({255, 255, 255})), {0, 0, -8}, 1.0f));
    capture(rod);
    coverage(glass, outside);
    ASSERT_EQ(rig->captures->getGlassRegions().size(), 1u);
    const glm::ivec4 rodRegion = rig->captures->getGlassRegions()[0];
    EXPECT_EQ(outside, 0);
    EXPECT_GT(glass, 500);
    EXPECT_LT(static_cast<long>(rodRegion.z) * rodRegion.w, glass * 5 / 4);

    // A body beside the eye that reaches past the near plane, out of view:
    // no region.
    scene.getModels().push_back(placeModel(sphereMesh(1.0f, solidTexture({255, 255, 255})), {3.0f, 0, -0.5f}, 1.0f));
    capture(scene);
    EXPECT_EQ(rig->captures->getGlassRegions().size(), 2u);

    // One cut by the near plane in view: its visible part is still held.
    Scene near;
    near.getModels().push_back(placeModel(sphereMesh(0.75f, solidTexture({255, 255, 255})), {0.5f, 0.3f, -0.8f}, 1.0f));
    capture(near);
    coverage(glass, outside);
    EXPECT_GT(glass, 1000);
    EXPECT_EQ(outside, 0);
    ASSERT_EQ(rig->captures->getGlassRegions().size(), 1u);
    EXPECT_LT(rig->captures->getGlassRegions()[0].z, size) << "the part off to the left is not shaded";

    // A body around the eye may cover every pixel.
    scene.getModels().push_back(placeModel(sphereMesh(1.0f, solidTexture({255, 255, 255})), {0, 0, -0.5f}, 1.0f));
    capture(scene);
    ASSERT_EQ(rig->captures->getGlassRegions().size(), 1u) << "overlapping regions merge";
    EXPECT_EQ(rig->captures->getGlassRegions()[0], glm::ivec4(0, 0, size, size));
}

namespace {

// Texels of two equally long arrays whose bytes differ.
template <typename T>
long differingTexels(const std::vector<T>& a, const std::vector<T>& b, size_t perTexel)
{
    long count = 0;
    for (size_t i = 0; i < a.size(); i += perTexel)
        count += std::memcmp(&a[i], &b[i], perTexel * sizeof(T)) != 0;
    return count;
}

} // namespace

TEST_F(CaptureTest, EveryFrameEqualsClearingEachTargetWholeAndDrawingAllGlass)
{
    // A wide window of its own, so x and y cannot be swapped unnoticed.
    constexpr int width = 240, height = 160;
    const glm::mat4 projection = Viewer::makeProjection(width, height);
    testing::internal::CaptureStdout();
    RefractionCaptures captures(width, height);
    std::shared_ptr<PostProcFramebuffer> reference[3];
    for (auto& target : reference)
        target = std::make_shared<PostProcFramebuffer>(width, height, captures.getFrontTarget()->getShader());
    ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
    const std::shared_ptr<PostProcFramebuffer> own[3] = {captures.getFrontTarget(), captures.getBackTarget(),
                                                         captures.getReflectionRefractionTarget()};
    glViewport(0, 0, width, height);

    // A new target's texels are undefined; make them plainly not the clear
    // values, so a first frame that trusted them would show.
    for (const auto& target : own) {
        target->bind();
        glClearColor(0.3f, 0.7f, 0.5f, 1.0f);
        glClearDepth(0.25);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glClearDepth(1.0);

    // A glass sphere, a turning glass pane and an opaque body.
    Scene scene;
    scene.getModels().push_back(
        placeModel(sphereMesh(1.0f, solidTexture({200, 120, 40})), {0, 0, -6}, 0.9f, 0.7f, 0.2f));
    scene.getModels().push_back(
        placeModel(quadMesh({1, 0, 0}, {0, 1, 0}, 0.8f, 0.5f, solidTexture({30, 90, 250})), {-2, 1, -7}, 0.5f));
    scene.getModels().push_back(placeModel(sphereMesh(1.5f, solidTexture({255, 255, 255})), {1, -1, -9}, 0.0f));
    scene.getModels()[1]->setAxis({0.2f, 1.0f, 0.3f});
    scene.getModels()[1]->setSpeed(35.0f);
    scene.getPointLights().push_back(PointLight{{2.0f, 3.0f, -2.0f}, {1.5f, 1.4f, 1.2f}});

    const glm::mat4 still(1.0f);
    const glm::mat4 turned = glm::lookAt(glm::vec3(1.0f, 0.5f, 0.5f), glm::vec3(0.5f, 0.0f, -6.0f), glm::vec3(0, 1, 0));
    const glm::vec3 paneShown(-2, 1, -7), paneHidden(0, 0, 6), gone(8, 0, -6);
    struct Frame {
        glm::vec3 sphere, pane;
        glm::mat4 view;
    };
    // The sphere crosses to the right edge and leaves, the pane goes behind
    // the eye, two frames without glass, the sphere returns at a corner,
    // holds the eye, is cut by the near plane, then all glass comes back in
    // another view and leaves again.
    const std::vector<Frame> frames = {
        {{0, 0, -6}, paneShown, still},         {{1.5f, 0.3f, -6}, paneShown, still},
        {{3.5f, 0, -6}, paneShown, still},      {{4.6f, 0, -6}, paneShown, still},
        {gone, paneShown, still},               {gone, paneHidden, still},
        {gone, paneHidden, still},              {{-4.2f, -2.4f, -6}, paneHidden, still},
        {{0, 0, -0.5f}, paneHidden, still},     {{0.4f, 0.2f, -1.0f}, paneHidden, still},
        {{0.4f, 0.2f, -1.0f}, paneHidden, still}, {{0, 0, -6}, paneShown, turned},
        {{0.1f, 0, -6}, paneShown, turned},     {gone, paneHidden, still},
        {gone, paneHidden, still},
    };
    int withGlass = 0, withoutGlass = 0, wholeWindow = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        scene.getModels()[0]->setPosition(frames[f].sphere);
        scene.getModels()[1]->setPosition(frames[f].pane);
        scene.update(0.25f);
        const glm::mat4& view = frames[f].view;

        captures.render(scene, view, projection);
        EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST)) << "frame " << f;
        GLint framebuffer = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
        EXPECT_EQ(framebuffer, 0) << "frame " << f;

        // The plain way, with the same programs.
        const std::shared_ptr<Shader> normal = captures.getNormalShader();
        const std::shared_ptr<Shader> rrTest = captures.getRRTestShader();
        reference[0]->bindAndClear();
        normal->use();
        normal->setMat4("view", view);
        normal->setMat4("projection", projection);
        scene.draw(normal, true);
        glCullFace(GL_FRONT);
        reference[1]->bindAndClear();
        scene.draw(normal, true);
        glCullFace(GL_BACK);
        reference[2]->bindAndClear();
        rrTest->use();
        rrTest->setMat4("view", view);
        rrTest->setMat4("projection", projection);
        scene.draw(rrTest, true);
        reference[2]->unbind();
        ASSERT_TRUE(GlContext::drainErrors().empty()) << "frame " << f;

        // Bit for bit, every texel of every attachment.
        long covered = 0;
        for (int t = 0; t < 3; ++t) {
            for (bool second : {false, true}) {
                const auto texture = [&](const PostProcFramebuffer& target) {
                    return second ? target.getColor2Texture() : target.getColorTexture();
                };
                EXPECT_EQ(differingTexels(textureRgb(texture(*own[t]), width, height),
                                          textureRgb(texture(*reference[t]), width, height), 3),
                          0)
                    << "frame " << f << ", target " << t << ", colour " << (second ? 1 : 0);
            }
            const std::vector<float> depth = textureDepth(own[t]->getDepthTexture(), width, height);
            EXPECT_EQ(differingTexels(depth, textureDepth(reference[t]->getDepthTexture(), width, height), 1), 0)
                << "frame " << f << ", target " << t << ", depth";
            covered += std::count_if(depth.begin(), depth.end(), [](float d) { return d < 1.0f; });
        }
        const std::vector<glm::ivec4>& regions = captures.getGlassRegions();
        withGlass += covered > 0;
        withoutGlass += regions.empty();
        wholeWindow += regions.size() == 1 && regions[0] == glm::ivec4(0, 0, width, height);
        if (covered > 0) {
            EXPECT_FALSE(regions.empty()) << "frame " << f << ": glass outside every region";
        }
    }
    // The run went through what it set out to: glass on screen, none at all,
    // and the eye inside a body.
    EXPECT_GE(withGlass, 10);
    EXPECT_EQ(withoutGlass, 4);
    EXPECT_GE(wholeWindow, 1);
}
