#include "GlassFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

// The off-screen target: its attachments, clear, texture binding, quad and
// copy, read back through GL queries and pixels.
namespace {

constexpr int size = 256; // the test window's size

class PostProcFramebufferTest : public GlTest {
protected:
    std::shared_ptr<Shader> program(const std::string& name, const std::string& vertex, const std::string& fragment)
    {
        dir.write(name + ".vert", vertex);
        dir.write(name + ".frag", fragment);
        testing::internal::CaptureStdout();
        auto shader = Shader::build(dir.file(name + ".vert"), dir.file(name + ".frag"));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << name;
        return shader;
    }

    std::shared_ptr<PostProcFramebuffer> makeTarget(std::shared_ptr<Shader> shader = nullptr)
    {
        testing::internal::CaptureStdout();
        auto target = std::make_shared<PostProcFramebuffer>(size, size, std::move(shader));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        return target;
    }

    // A full-screen triangle at window depth 0.25 writing `first` to output
    // 0 and `second` to output 1.
    void fill(const glm::vec3& first, const glm::vec3& second)
    {
        auto writer = program("writer", R"(#version 430 core
void main()
{
    vec2 corner = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    gl_Position = vec4(corner, -0.5, 1.0);
}
)",
                              R"(#version 430 core
uniform vec3 first;
uniform vec3 second;
layout(location = 0) out vec4 out0;
layout(location = 1) out vec4 out1;
void main() { out0 = vec4(first, 1.0); out1 = vec4(second, 1.0); }
)");
        writer->use();
        writer->setVec3("first", first);
        writer->setVec3("second", second);
        GLuint vao = 0;
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glBindVertexArray(0);
    }

    // Binds `target` and covers it with two known colours at depth 0.25,
    // then checks both outputs and the depth landed (the precondition of
    // the clear checks).
    void fillKnown(PostProcFramebuffer& target)
    {
        target.bind();
        glEnable(GL_DEPTH_TEST);
        glClear(GL_DEPTH_BUFFER_BIT);
        fill({1.0f, 0.5f, 0.25f}, {0.2f, 0.4f, 0.6f});
        ASSERT_EQ(textureRgb(target.getColorTexture(), size)[0], 255);
        ASSERT_EQ(textureRgb(target.getColor2Texture(), size)[2], 153);
        ASSERT_NEAR(textureDepth(target.getDepthTexture(), size)[0], 0.25f, 1e-3f);
    }

    TempDir dir;
};

GLint integer(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

GLint textureParameter(GLuint texture, GLenum name)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

GLint levelParameter(GLuint texture, GLenum name)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
    return value;
}

GLint attachment(GLenum point)
{
    GLint name = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, point, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
    return name;
}

GLint sampler(GLuint program, const char* name)
{
    GLint unit = -1;
    glGetUniformiv(program, glGetUniformLocation(program, name), &unit);
    return unit;
}

GLint boundOnUnit(int unit)
{
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    return integer(GL_TEXTURE_BINDING_2D);
}

} // namespace

TEST_F(PostProcFramebufferTest, HasTwoRgbColourTexturesAndADepthTextureOfItsSize)
{
    auto target = makeTarget();
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0) << "the constructor leaves framebuffer 0 bound";

    const GLuint textures[3] = {target->getColorTexture(), target->getColor2Texture(), target->getDepthTexture()};
    EXPECT_NE(textures[0], textures[1]);
    for (GLuint texture : textures) {
        EXPECT_EQ(levelParameter(texture, GL_TEXTURE_WIDTH), size);
        EXPECT_EQ(levelParameter(texture, GL_TEXTURE_HEIGHT), size);
    }
    for (GLuint texture : {textures[0], textures[1]}) {
        EXPECT_EQ(levelParameter(texture, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);
        EXPECT_EQ(levelParameter(texture, GL_TEXTURE_ALPHA_SIZE), 0) << "no alpha channel";
        EXPECT_EQ(textureParameter(texture, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
        EXPECT_EQ(textureParameter(texture, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    }
    EXPECT_EQ(levelParameter(textures[2], GL_TEXTURE_INTERNAL_FORMAT), GL_DEPTH_COMPONENT);
    EXPECT_EQ(textureParameter(textures[2], GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(textureParameter(textures[2], GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(textureParameter(textures[2], GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(textureParameter(textures[2], GL_TEXTURE_WRAP_T), GL_REPEAT);

    target->bind();
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(target->getFramebuffer()));
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    EXPECT_EQ(attachment(GL_COLOR_ATTACHMENT0), static_cast<GLint>(textures[0]));
    EXPECT_EQ(attachment(GL_COLOR_ATTACHMENT1), static_cast<GLint>(textures[1]));
    EXPECT_EQ(attachment(GL_DEPTH_ATTACHMENT), static_cast<GLint>(textures[2]));
    EXPECT_EQ(integer(GL_DRAW_BUFFER0), GL_COLOR_ATTACHMENT0);
    EXPECT_EQ(integer(GL_DRAW_BUFFER1), GL_COLOR_ATTACHMENT1);
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(PostProcFramebufferTest, BindAndClearBlackensBothColoursAndPutsDepthToOne)
{
    auto target = makeTarget();
    ASSERT_NO_FATAL_FAILURE(fillKnown(*target));

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f); // bindAndClear sets its own
    target->bindAndClear();
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(target->getFramebuffer()));
    expectCleared(*target, size, "bindAndClear");
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(PostProcFramebufferTest, BindAndClearRegionsClearsOnlyInsideItsRectanglesAndLeavesScissorOff)
{
    auto target = makeTarget();
    ASSERT_NO_FATAL_FAILURE(fillKnown(*target));

    // Overlapping, touching the window's corner, and one past its edge.
    const std::vector<glm::ivec4> regions = {{0, 0, 10, 7}, {5, 3, 20, 30}, {240, 100, 40, 9}};
    const auto inside = [&](int x, int y) {
        return std::any_of(regions.begin(), regions.end(), [&](const glm::ivec4& r) {
            return x >= r.x && x < r.x + r.z && y >= r.y && y < r.y + r.w;
        });
    };
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f); // it sets its own, as bindAndClear does
    target->bindAndClearRegions(regions);
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(target->getFramebuffer()));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST)) << "the lit pass and the composite draw unscissored";

    const std::vector<unsigned char> colour = textureRgb(target->getColorTexture(), size);
    const std::vector<unsigned char> colour2 = textureRgb(target->getColor2Texture(), size);
    const std::vector<float> depth = textureDepth(target->getDepthTexture(), size);
    long cleared = 0, wrong = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const size_t i = static_cast<size_t>(y * size + x);
            const bool clear = inside(x, y);
            cleared += clear;
            const unsigned char r = clear ? 0 : 255, b2 = clear ? 0 : 153;
            wrong += colour[i * 3] != r || colour2[i * 3 + 2] != b2 || (depth[i] == 1.0f) != clear;
        }
    EXPECT_EQ(wrong, 0) << "cleared exactly inside the rectangles, untouched elsewhere";
    EXPECT_EQ(cleared, 10 * 7 + 20 * 30 - 5 * 4 + 16 * 9);

    // No rectangles: nothing changes.
    target->bindAndClearRegions({});
    EXPECT_EQ(textureRgb(target->getColorTexture(), size), colour);
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(PostProcFramebufferTest, BindTexturesPutsColourDepthColour2OnThreeUnitsAndNamesThem)
{
    auto target = makeTarget();
    auto shader = program("samplers", "#version 430 core\nvoid main() { gl_Position = vec4(0.0); }\n",
                          R"(#version 430 core
uniform sampler2D image;
uniform sampler2D depthMap;
uniform sampler2D color2;
uniform sampler2D first;
uniform sampler2D second;
uniform sampler2D third;
out vec4 colour;
void main()
{
    vec2 p = vec2(0.5);
    colour = texture(image, p) + texture(depthMap, p) + texture(color2, p)
           + texture(first, p) + texture(second, p) + texture(third, p);
}
)");
    const GLuint id = shader->getProgram();
    shader->use();
    for (const char* name : {"image", "depthMap", "color2", "first", "second", "third"})
        shader->setInt(name, 15);

    target->bindTextures(shader, 4, "first", "second", "third");
    EXPECT_EQ(sampler(id, "first"), 4);
    EXPECT_EQ(sampler(id, "second"), 5);
    EXPECT_EQ(sampler(id, "third"), 6);
    EXPECT_EQ(sampler(id, "image"), 15) << "the default names stay untouched above unit 0";
    EXPECT_EQ(integer(GL_ACTIVE_TEXTURE), GL_TEXTURE6);
    // The depth texture sits on the middle unit.
    EXPECT_EQ(boundOnUnit(4), static_cast<GLint>(target->getColorTexture()));
    EXPECT_EQ(boundOnUnit(5), static_cast<GLint>(target->getDepthTexture()));
    EXPECT_EQ(boundOnUnit(6), static_cast<GLint>(target->getColor2Texture()));

    // The std::string form does the same.
    for (const char* name : {"first", "second", "third"})
        shader->setInt(name, 15);
    target->bindTextures(shader, 7, std::string("first"), std::string("second"), std::string("third"));
    EXPECT_EQ(sampler(id, "first"), 7);
    EXPECT_EQ(sampler(id, "second"), 8);
    EXPECT_EQ(sampler(id, "third"), 9);
    EXPECT_EQ(boundOnUnit(8), static_cast<GLint>(target->getDepthTexture()));

    shader->use();
    target->bindTextures(shader, 0, "first", "second", "third");
    EXPECT_EQ(sampler(id, "image"), 0);
    EXPECT_EQ(sampler(id, "depthMap"), 1);
    EXPECT_EQ(sampler(id, "color2"), 2);
    EXPECT_EQ(sampler(id, "first"), 7) << "unit 0 ignores the names passed";
    EXPECT_EQ(sampler(id, "third"), 9);
    EXPECT_EQ(integer(GL_ACTIVE_TEXTURE), GL_TEXTURE2);
    EXPECT_EQ(boundOnUnit(0), static_cast<GLint>(target->getColorTexture()));
    EXPECT_EQ(boundOnUnit(1), static_cast<GLint>(target->getDepthTexture()));
    EXPECT_EQ(boundOnUnit(2), static_cast<GLint>(target->getColor2Texture()));
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(PostProcFramebufferTest, DrawShowsColourAttachmentZeroOnlyWithFrontFacesCulled)
{
    testing::internal::CaptureStdout();
    auto testQuad = Shader::build("shader/testquad.vert", "shader/testquad.frag");
    ASSERT_EQ(testing::internal::GetCapturedStdout(), "");
    auto target = makeTarget(testQuad);
    EXPECT_EQ(target->getShader(), testQuad);
    target->bind();
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    target->unbind();
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0);

    glEnable(GL_CULL_FACE);
    const auto drawOnBlack = [&](GLenum culled) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glCullFace(culled);
        target->draw();
        return GlContext::readImage(size, size);
    };
    const Image black = drawOnBlack(GL_FRONT_AND_BACK); // nothing drawn
    const Image backCulled = drawOnBlack(GL_BACK);
    const Image frontCulled = drawOnBlack(GL_FRONT);
    glCullFace(GL_BACK);

    // Exact comparisons: a clear or a one-texel-per-pixel copy of a uniform
    // texture leaves no rounding, so any differing pixel is a fault.
    const ImageDifference nothing = compareImages(backCulled, black, 0);
    EXPECT_EQ(nothing.largest, 0) << "both triangles are clockwise: back faces";
    Image expected = black;
    for (size_t i = 0; i < expected.rgb.size(); i += 3) {
        expected.rgb[i] = 51;
        expected.rgb[i + 1] = 102;
        expected.rgb[i + 2] = 153;
    }
    const ImageDifference covered = compareImages(frontCulled, expected, 0);
    EXPECT_EQ(covered.largest, 0);
    EXPECT_EQ(covered.failingShare, 0.0) << "the quad covers the whole window";

    // draw() points "image" at unit 2 with the colour texture, the depth on 3.
    EXPECT_EQ(sampler(testQuad->getProgram(), "image"), 2);
    EXPECT_EQ(boundOnUnit(2), static_cast<GLint>(target->getColorTexture()));
    EXPECT_EQ(boundOnUnit(3), static_cast<GLint>(target->getDepthTexture()));
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(PostProcFramebufferTest, UnbindBindsFramebufferZeroWhicheverTargetIsBound)
{
    auto first = makeTarget();
    auto second = makeTarget();
    EXPECT_NE(first->getFramebuffer(), second->getFramebuffer());
    first->bind();
    second->unbind();
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0);
}

TEST_F(PostProcFramebufferTest, CopyColorToCopiesColourAttachmentZeroExactly)
{
    auto target = makeTarget();
    target->bindAndClear();
    fill({0.8f, 0.6f, 0.2f}, {0.0f, 1.0f, 0.0f});
    // A second colour in the lower left quarter, so the copy must keep places.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, size / 2, size / 2);
    fill({0.2f, 0.4f, 1.0f}, {0.0f, 1.0f, 0.0f});
    glDisable(GL_SCISSOR_TEST);
    const std::vector<unsigned char> texels = textureRgb(target->getColorTexture(), size);

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    target->copyColorTo(0);
    EXPECT_EQ(integer(GL_DRAW_FRAMEBUFFER_BINDING), 0);
    EXPECT_EQ(integer(GL_READ_FRAMEBUFFER_BINDING), 0);
    const Image window = GlContext::readImage(size, size);
    // Image rows run top down, texture rows bottom up.
    long differing = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int c = 0; c < 3; ++c)
                differing += window.rgb[static_cast<size_t>(((size - 1 - y) * size + x) * 3 + c)] !=
                             texels[static_cast<size_t>((y * size + x) * 3 + c)];
    EXPECT_EQ(differing, 0) << "a same-size nearest copy is exact";
    EXPECT_EQ(window.at(10, size - 10), glm::vec3(51, 102, 255));
    EXPECT_EQ(window.at(size - 10, 10), glm::vec3(204, 153, 51));
    EXPECT_TRUE(GlContext::drainErrors().empty());
}
