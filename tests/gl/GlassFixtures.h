#pragma once

#include "GlContext.h"
#include "ImageProbe.h"
#include "TempDir.h"
#include "app/Viewer.h"
#include "effects/PostProcFramebuffer.h"
#include "effects/RefractionCaptures.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/Shader.h"
#include "scene/Scene.h"

#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Geometry, textures and a frame rig for the capture and composite tests.
// Meshes are built in memory (no import), wound counter-clockwise seen from
// outside, with outward normals.

// An RGBA8 texture of width x height whose texel (x, y) is `texel(x, y)`,
// with linear filtering and clamped edges.
inline GLuint makeTexture(int width, int height, const std::function<glm::u8vec3(int, int)>& texel)
{
    std::vector<unsigned char> data;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const glm::u8vec3 c = texel(x, y);
            data.insert(data.end(), {c.r, c.g, c.b, 255});
        }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

inline GLuint solidTexture(const glm::u8vec3& colour)
{
    return makeTexture(1, 1, [&](int, int) { return colour; });
}

// A UV sphere about the origin.
inline std::shared_ptr<Mesh> sphereMesh(float radius, GLuint texture, int slices = 48, int stacks = 32)
{
    std::vector<Vertex> vertices;
    std::vector<unsigned int> indices;
    for (int i = 0; i <= stacks; ++i) {
        const float theta = glm::pi<float>() * static_cast<float>(i) / static_cast<float>(stacks);
        for (int j = 0; j <= slices; ++j) {
            const float phi = glm::two_pi<float>() * static_cast<float>(j) / static_cast<float>(slices);
            const glm::vec3 n(std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi));
            vertices.push_back({radius * n, n, glm::vec2(static_cast<float>(j) / slices, static_cast<float>(i) / stacks)});
        }
    }
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const unsigned int a = static_cast<unsigned int>(i * (slices + 1) + j);
            const unsigned int b = a + static_cast<unsigned int>(slices + 1);
            indices.insert(indices.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    return std::make_shared<Mesh>(vertices, indices, std::vector<Texture>{{texture, "texture_diffuse"}});
}

// A rectangle about the origin spanned by unit vectors u and v (facing
// u x v), of half sizes halfU and halfV; texture u runs along u, v along v.
inline std::shared_ptr<Mesh> quadMesh(const glm::vec3& u, const glm::vec3& v, float halfU, float halfV, GLuint texture)
{
    const glm::vec3 n = glm::cross(u, v);
    std::vector<Vertex> vertices = {
        {-halfU * u - halfV * v, n, {0, 0}},
        {halfU * u - halfV * v, n, {1, 0}},
        {halfU * u + halfV * v, n, {1, 1}},
        {-halfU * u + halfV * v, n, {0, 1}},
    };
    return std::make_shared<Mesh>(vertices, std::vector<unsigned int>{0, 1, 2, 0, 2, 3},
                                  std::vector<Texture>{{texture, "texture_diffuse"}});
}

inline std::shared_ptr<Model> placeModel(std::shared_ptr<Mesh> mesh, const glm::vec3& position, float transparency,
                                         float refraction = 1.0f, float reflection = 0.0f)
{
    auto model = std::make_shared<Model>(std::vector<std::shared_ptr<Mesh>>{std::move(mesh)});
    model->setPosition(position);
    model->setTransparency(transparency);
    model->setRefraction(refraction);
    model->setReflection(reflection);
    return model;
}

// Texels of a width x height 2D texture (square when no height is given),
// level 0, bottom row first: RGB bytes or depth floats. Depths start at -1,
// so a texel the read-back missed cannot pass for a stored depth.
inline std::vector<unsigned char> textureRgb(GLuint texture, int width, int height)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

inline std::vector<unsigned char> textureRgb(GLuint texture, int size) { return textureRgb(texture, size, size); }

inline std::vector<float> textureDepth(GLuint texture, int width, int height)
{
    std::vector<float> depth(static_cast<size_t>(width) * height, -1.0f);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    return depth;
}

inline std::vector<float> textureDepth(GLuint texture, int size) { return textureDepth(texture, size, size); }

// Every texel of both colours of a size x size target black and every
// depth 1.
inline void expectCleared(const PostProcFramebuffer& target, int size, const std::string& name)
{
    for (GLuint texture : {target.getColorTexture(), target.getColor2Texture()}) {
        const std::vector<unsigned char> rgb = textureRgb(texture, size);
        EXPECT_EQ(std::count(rgb.begin(), rgb.end(), 0), static_cast<long>(rgb.size()))
            << name << ": every texel black";
    }
    const std::vector<float> depth = textureDepth(target.getDepthTexture(), size);
    EXPECT_EQ(std::count(depth.begin(), depth.end(), 1.0f), static_cast<long>(depth.size()))
        << name << ": every depth 1";
}

// The frame's capture, lit and composite steps at size x size, with the
// camera projection of the viewer (45 degrees, near 0.1, far 200). The
// opaque scene is drawn with an unlit program that shows each mesh's
// texture as it is, so the composite's effect can be read off the texels.
class GlassRig {
public:
    explicit GlassRig(int size) : size(size)
    {
        projection = Viewer::makeProjection(size, size);
        dir.write("unlit.vert", R"(#version 430 core
layout(location = 0) in vec3 position;
layout(location = 2) in vec2 uv;
uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
out vec2 texCoord;
void main() { texCoord = uv; gl_Position = projection * view * model * vec4(position, 1.0); }
)");
        dir.write("unlit.frag", R"(#version 430 core
in vec2 texCoord;
uniform sampler2D diffuseTexture;
out vec4 fragColor;
void main() { fragColor = vec4(texture(diffuseTexture, texCoord).rgb, 1.0); }
)");
        unlit = Shader::build(dir.file("unlit.vert"), dir.file("unlit.frag"));
        composite = Shader::build("shader/postprocessing.vert", "shader/postprocessing.frag");
        target = std::make_shared<PostProcFramebuffer>(size, size, composite);
        composite->use();
        composite->setMat4("inverseProjectionMatrix", glm::inverse(projection));
        composite->setMat4("projectionMatrix", projection);
        captures = std::make_unique<RefractionCaptures>(size, size);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glViewport(0, 0, size, size);
    }

    // One frame: the captures of `scene`'s transparent models, its opaque
    // models into the post-processing target, then the composite into
    // framebuffer 0. Returns the window's pixels; `lit` gets the target's.
    Image frame(Scene& scene, const glm::mat4& view, Image* lit = nullptr)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

        captures->render(scene, view, projection);
        target->bindAndClear();
        composite->use();
        composite->setMat4("viewMatrix", view);
        composite->setMat4("inverseViewMatrix", glm::inverse(view));
        unlit->use();
        unlit->setMat4("view", view);
        unlit->setMat4("projection", projection);
        scene.draw(unlit, false);
        if (lit)
            *lit = GlContext::readImage(size, size);
        target->unbind();

        // The composite as the viewer runs it.
        const std::shared_ptr<Shader> shader = target->getShader();
        shader->use();
        captures->bindForComposite(shader);
        target->copyColorTo(0);
        glCullFace(GL_FRONT);
        target->draw();
        glCullFace(GL_BACK);
        EXPECT_TRUE(GlContext::drainErrors().empty());
        return GlContext::readImage(size, size);
    }

    // Window coordinates (x right, y down as in Image) of a world point.
    glm::ivec2 pixelOf(const glm::vec3& world, const glm::mat4& view) const
    {
        const glm::vec3 w = glm::project(world, view, projection, glm::vec4(0, 0, size, size));
        return {static_cast<int>(w.x), size - 1 - static_cast<int>(w.y)};
    }

    int size;
    TempDir dir;
    glm::mat4 projection;
    std::shared_ptr<Shader> unlit;
    std::shared_ptr<Shader> composite;
    std::shared_ptr<PostProcFramebuffer> target;
    std::unique_ptr<RefractionCaptures> captures;
};

// Fixture of the capture and composite tests: a fresh context with a rig of
// size x size on it, and the eye at the origin looking down -z. The rig
// goes before the context does.
class GlassRigTest : public GlTest {
protected:
    static constexpr int size = 256;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(GlTest::SetUp());
        testing::internal::CaptureStdout();
        rig = std::make_unique<GlassRig>(size);
        ASSERT_EQ(testing::internal::GetCapturedStdout(), "") << "no shader or framebuffer complaint expected";
    }
    void TearDown() override
    {
        rig.reset();
        GlTest::TearDown();
    }

    std::unique_ptr<GlassRig> rig;
    glm::mat4 view{1.0f};
};
