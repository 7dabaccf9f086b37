#include "GlContext.h"
#include "TempDir.h"
#include "effects/ParticleSystem.h"
#include "effects/PostProcFramebuffer.h"
#include "effects/RefractionCaptures.h"
#include "render/Model.h"
#include "render/Shader.h"
#include "render/Skybox.h"
#include "scene/Scene.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <algorithm>
#include <unistd.h>

// The sky, the particles and the glass captures, each read back after one
// pass (their composite is checked on the whole frame in ViewerFrameTest).
namespace {

constexpr int size = 256;

TEST_F(GlTest, SkyShowsEachFaceAlongItsAxisAndOnlyTurnsWithTheView)
{
    // One colour per face file, in GL face order +X, -X, +Y, -Y, +Z, -Z.
    const char* files[6] = {"ft", "bk", "up", "dn", "rt", "lf"};
    const glm::u8vec3 colours[6] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {200, 200, 30}, {200, 30, 200}, {30, 200, 200}};
    TempDir dir;
    for (int face = 0; face < 6; ++face) {
        const std::string path = "assets/skybox/mnight/mnight_" + std::string(files[face]) + ".tga";
        dir.write(path, "");
        const std::vector<glm::u8vec3> pixels(16, colours[face]);
        ASSERT_NE(0, stbi_write_tga(dir.file(path).c_str(), 4, 4, 3, pixels.data()));
    }
    ASSERT_EQ(0, chdir(dir.path().c_str()));
    testing::internal::CaptureStdout();
    Skybox sky;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(0, chdir(VELMORA_SOURCE_DIR));
    sky.setShader(Shader::build("shader/skybox.vert", "shader/skybox.frag"));
    RenderTarget target(size);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    const glm::mat4 projection = glm::perspective(glm::radians(90.0f), 1.0f, 0.1f, 200.0f);
    const auto draw = [&](const glm::vec3& eye, const glm::vec3& axis) {
        target.clear();
        const glm::vec3 up = std::abs(axis.y) > 0.5f ? glm::vec3(0, 0, 1) : glm::vec3(0, 1, 0);
        sky.setMatrices(glm::lookAt(eye, eye + axis, up), projection);
        sky.draw();
        return target.read();
    };
    const glm::vec3 axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int face = 0; face < 6; ++face) {
        // The middle half of a 90 degree view lies on that face only; a
        // uniform face filters to its own colour: 1 level of rounding, no
        // failing pixel.
        Image expected = draw(glm::vec3(0), axes[face]);
        for (std::size_t i = 0; i < expected.rgb.size(); ++i)
            expected.rgb[i] = colours[face][i % 3];
        const ImageDifference d = compareImages(draw(glm::vec3(0), axes[face]), expected, 1, 64, 64, 192, 192);
        EXPECT_EQ(d.failingShare, 0.0) << files[face] << ", largest " << d.largest;
        // Far from the origin the sky looks the same: it never moves with the eye.
        EXPECT_EQ(compareImages(draw(glm::vec3(50, -30, 70), axes[face]), draw(glm::vec3(0), axes[face]), 0).largest, 0);
    }
    // Drawn after the scene, it fills only what geometry left at the far plane.
    target.clear();
    glClearDepth(0.5);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    sky.draw();
    EXPECT_EQ(target.read().fractionBrighterThan(0, 0, size, size, 0.0f), 0.0);
    EXPECT_TRUE(drainErrors().empty());
}

std::vector<glm::vec4> records(GLuint buffer)
{
    std::vector<glm::vec4> values(256);
    glBindBuffer(GL_COPY_READ_BUFFER, buffer);
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, values.size() * sizeof(glm::vec4), values.data());
    return values;
}

TEST_F(GlTest, ParticlesEmitMoveRetireAndDrawAsRoundGlowsWithoutDepth)
{
    testing::internal::CaptureStdout();
    ParticleSystem particles;
    testing::internal::GetCapturedStdout();
    particles.setScale(0.2f);
    // The viewer's fountain rate (1600 a minute): 0.04 s crosses one instant.
    particles.emitFountain(0.04, 1600.0f, glm::vec3(-6, 1, 2));
    ASSERT_EQ(particles.getCount(), 1u);
    const glm::vec4 v0 = records(particles.getVelocityBuffer(particles.getCurrent()))[0];
    EXPECT_EQ(v0.y, 4.0f);
    EXPECT_LE(glm::length(glm::vec2(v0.x, v0.z)), 0.8f + 1e-5f) << "spread 4 x scale";
    particles.update(0.05);
    ASSERT_EQ(particles.getCount(), 1u);
    const glm::vec4 p = records(particles.getPositionBuffer(particles.getCurrent()))[0];
    EXPECT_NEAR(p.x, -6.0f + v0.x * 0.05f, 1e-5f);
    EXPECT_LT(p.y, 1.0f + 4.0f * 0.05f) << "gravity pulls";
    EXPECT_GT(p.y, 1.0f + 4.0f * 0.05f - 10.0f * 0.05f * 0.05f);

    // Bursts of 64 sparks, at most one per frame, fill the system to 256;
    // everything is gone within seven seconds.
    for (int frame = 0; frame < 8; ++frame) {
        particles.emitBurst(2.0, 32.0f, glm::vec3(5, 25, 5));
        EXPECT_EQ(particles.getCount(), std::min(1u + 64u * (frame + 1), 256u));
        particles.update(0.001);
    }
    for (int frame = 0; frame < 420; ++frame)
        particles.update(1.0 / 60.0);
    ASSERT_EQ(particles.getCount(), 0u);

    // One drop drawn over grey 64: a round glow at its pixel (max blending
    // never darkens), nothing a sprite away, no depth written.
    particles.emitFountain(0.04, 1600.0f, glm::vec3(0));
    particles.update(0.001);
    const glm::vec3 drop(records(particles.getPositionBuffer(particles.getCurrent()))[0]);
    const glm::mat4 view = glm::lookAt(drop + glm::vec3(0.5f, 0.3f, 5), drop + glm::vec3(0.5f, 0.3f, 0), glm::vec3(0, 1, 0));
    const glm::mat4 projection = glm::perspective(glm::radians(45.0f), 1.0f, 0.1f, 100.0f);
    RenderTarget target(size);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    particles.draw(view, projection);
    const Image image = readImage(size, size);
    keepImage(image, "drop");
    const glm::vec3 w = glm::project(drop, view, projection, glm::vec4(0, 0, size, size));
    const glm::vec3 core = image.at(int(w.x), size - 1 - int(w.y));
    EXPECT_GT(core.b, 200.0f);
    EXPECT_GT(core.b, core.r) << "fountain drops are blue";
    // 0.4-unit sprite at 5 units: 25 pixels across; its square's corner stays grey.
    EXPECT_EQ(image.at(int(w.x) + 10, size - 1 - int(w.y) - 10), glm::vec3(64.0f));
    EXPECT_EQ(std::count_if(image.rgb.begin(), image.rgb.end(), [](unsigned char c) { return c < 64; }), 0)
        << "max blending never darkens";
    GLfloat depth = 0.0f;
    glReadPixels(int(w.x), int(w.y), 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(depth, 1.0f);
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask) << "depth writes back on";
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(drainErrors().empty());
}

TEST_F(GlTest, CapturesHoldTheGlassFrontAndBackDepthsAndItsMaterial)
{
    // The shipped glass ball (radius 1.2) five units in front of the eye.
    TempDir dir;
    const std::string ball = "path 0 assets/models/glass_sphere.obj\nposition 0 0,0,-5\n";
    dir.write("scene.txt", "$ glass 0\n" + ball + "transparency 0 0.8\nrefraction 0 1.5\nreflection 0 0.3\n"
                           "$ opaque 0\n" + ball);
    Scene scene;
    testing::internal::CaptureStdout(); // the reader echoes every line
    scene.load(dir.file("scene.txt"));
    RefractionCaptures captures(size, size);
    testing::internal::GetCapturedStdout();
    const std::shared_ptr<Model> glass = scene.getModels()[0], opaque = scene.getModels()[1];
    scene.getModels().pop_back();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glViewport(0, 0, size, size);
    const glm::mat4 projection = glm::perspective(glm::radians(45.0f), 1.0f, 0.1f, 200.0f);
    captures.render(scene, glm::mat4(1.0f), projection);
    ASSERT_FALSE(captures.getGlassRegions().empty());

    const auto depthAt = [&](float distance) {
        const glm::vec4 clip = projection * glm::vec4(0, 0, -distance, 1);
        return clip.z / clip.w * 0.5f + 0.5f;
    };
    const int centre = (size / 2) * size + size / 2, corner = 3 * size + 3;
    const std::vector<float> front = textureDepth(captures.getFrontTarget()->getDepthTexture(), size, size);
    const std::vector<float> back = textureDepth(captures.getBackTarget()->getDepthTexture(), size, size);
    // Facets of any fair tessellation lie within 0.05 units of the sphere.
    EXPECT_NEAR(front[centre], depthAt(3.8f), depthAt(3.85f) - depthAt(3.8f));
    EXPECT_NEAR(back[centre], depthAt(6.2f), depthAt(6.25f) - depthAt(6.2f));
    EXPECT_EQ(front[corner], 1.0f);
    EXPECT_EQ(back[corner], 1.0f);
    // The material capture: refraction * 127 / 255, reflection, transparency
    // at the ball (to a step of rounding), nothing beside it.
    const auto material = textureBytes(captures.getReflectionRefractionTarget()->getColor2Texture(), size, size);
    EXPECT_NEAR(material[centre * 3], 1.5f * 127.0f, 1.0f);
    EXPECT_NEAR(material[centre * 3 + 1], 0.3f * 255.0f, 1.0f);
    EXPECT_NEAR(material[centre * 3 + 2], 0.8f * 255.0f, 1.0f);
    EXPECT_EQ(material[corner * 3] + material[corner * 3 + 1] + material[corner * 3 + 2], 0);

    // An opaque ball leaves every capture cleared.
    scene.getModels()[0] = opaque;
    captures.render(scene, glm::mat4(1.0f), projection);
    EXPECT_EQ(textureDepth(captures.getFrontTarget()->getDepthTexture(), size, size)[centre], 1.0f);
    EXPECT_EQ(textureDepth(captures.getBackTarget()->getDepthTexture(), size, size)[centre], 1.0f);

    // Scaled by 4 (radius 4.8) at (5, 0, -3), the ball reaches behind the
    // eye, so its regions come from its bounding sphere, which must grow
    // with the scale: it then covers at least the right 30 % of the window,
    // where the unscaled sphere lies wholly outside the view.
    scene.getModels()[0] = glass;
    glass->setScale(4.0f);
    glass->setPosition(glm::vec3(5, 0, -3));
    captures.render(scene, glm::mat4(1.0f), projection);
    int area = 0;
    for (const glm::ivec4& region : captures.getGlassRegions())
        area += region.z * region.w;
    EXPECT_GE(area, size * size * 3 / 10);
    EXPECT_TRUE(drainErrors().empty());
}

} // namespace
