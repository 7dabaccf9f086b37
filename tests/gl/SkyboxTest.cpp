#include "GlContext.h"
#include "ImageProbe.h"
#include "TempDir.h"
#include "render/Shader.h"
#include "render/Skybox.h"
#include "render/StbTexture.h"

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <stb_image_write.h>

#include <array>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int size = 256; // the test window

using Rgb = std::array<unsigned char, 3>;

// One colour per cube face, in GL face order +X, -X, +Y, -Y, +Z, -Z.
const Rgb faceColours[6] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {200, 200, 30}, {200, 30, 200}, {30, 200, 200}};
const char* faceFiles[6] = {"mnight_ft.tga", "mnight_bk.tga", "mnight_up.tga",
                            "mnight_dn.tga", "mnight_rt.tga", "mnight_lf.tga"};

std::vector<unsigned char> uniformImage(int width, int height, const Rgb& colour)
{
    std::vector<unsigned char> pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), colour.begin(), colour.end());
    return pixels;
}

// The cube-map face `target` read back as RGB rows.
std::vector<unsigned char> readFace(GLenum target, int width, int height)
{
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

Image window() { return GlContext::readImage(size, size); }

Image uniformWindow(const Rgb& colour)
{
    Image image{size, size, uniformImage(size, size, colour)};
    return image;
}

const glm::mat4 squareProjection = glm::perspective(glm::radians(90.0f), 1.0f, 0.1f, 200.0f);

class SkyboxTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        // The frame loop's state when the sky is drawn.
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        std::filesystem::create_directories(dir.file("assets/skybox/mnight"));
    }
    void TearDown() override
    {
        ASSERT_EQ(0, chdir(VELMORA_SOURCE_DIR));
        GlTest::TearDown();
    }

    std::string facePath(int face) const { return dir.file(std::string("assets/skybox/mnight/") + faceFiles[face]); }

    void writeFace(int face, int width, int height, int channels, const std::vector<unsigned char>& pixels) const
    {
        ASSERT_NE(0, stbi_write_tga(facePath(face).c_str(), width, height, channels, pixels.data()));
    }

    void writeUniformFaces(int edge = 4)
    {
        for (int face = 0; face < 6; ++face)
            writeFace(face, edge, edge, 3, uniformImage(edge, edge, faceColours[face]));
    }

    // The sky as the viewer builds it, with the folder as working directory.
    std::unique_ptr<Skybox> makeSky(std::string* output = nullptr)
    {
        EXPECT_EQ(0, chdir(dir.path().c_str()));
        testing::internal::CaptureStdout();
        auto sky = std::make_unique<Skybox>();
        const std::string printed = testing::internal::GetCapturedStdout();
        if (output)
            *output = printed;
        else
            EXPECT_EQ(printed, "");
        EXPECT_EQ(0, chdir(VELMORA_SOURCE_DIR));
        sky->setShader(Shader::build("shader/skybox.vert", "shader/skybox.frag"));
        return sky;
    }

    Image drawSky(Skybox& sky, const glm::mat4& view)
    {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        sky.setMatrices(view, squareProjection);
        sky.draw();
        return window();
    }

    TempDir dir;
};

} // namespace

// Rows of 3 RGB pixels are 9 bytes: read with the default 4-byte alignment
// they would skew. Grey and RGBA files are decoded to RGB. The caller's
// unpack alignment survives the load.
TEST_F(SkyboxTest, ThreePixelWideGreyAndRgbaFacesUploadUnskewed)
{
    std::vector<unsigned char> rgb, grey, rgba, rgbOfRgba;
    for (int i = 0; i < 9; ++i) {
        rgb.insert(rgb.end(), {static_cast<unsigned char>(10 + i), static_cast<unsigned char>(100 + i),
                               static_cast<unsigned char>(200 + i)});
        grey.push_back(static_cast<unsigned char>(20 * i + 5));
        const unsigned char r = static_cast<unsigned char>(i * 25), g = static_cast<unsigned char>(255 - i * 25);
        rgba.insert(rgba.end(), {r, g, 77, static_cast<unsigned char>(i * 30)});
        rgbOfRgba.insert(rgbOfRgba.end(), {r, g, 77});
    }
    std::vector<unsigned char> greyAsRgb;
    for (unsigned char g : grey)
        greyAsRgb.insert(greyAsRgb.end(), {g, g, g});
    writeFace(0, 3, 3, 3, rgb);
    writeFace(1, 3, 3, 1, grey);
    writeFace(2, 3, 3, 4, rgba);
    for (int face = 3; face < 6; ++face)
        writeFace(face, 3, 3, 3, rgb);

    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    StbTexture texture;
    std::vector<std::string> paths;
    for (int face = 0; face < 6; ++face)
        paths.push_back(facePath(face));
    testing::internal::CaptureStdout();
    texture.loadCubemap(paths);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 2);

    glBindTexture(GL_TEXTURE_CUBE_MAP, texture.getId());
    EXPECT_EQ(readFace(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 3, 3), rgb);
    EXPECT_EQ(readFace(GL_TEXTURE_CUBE_MAP_NEGATIVE_X, 3, 3), greyAsRgb);
    EXPECT_EQ(readFace(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, 3, 3), rgbOfRgba);
    GLint format = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_X, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    EXPECT_TRUE(format == GL_RGB || format == GL_RGB8) << format;
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(SkyboxTest, MissingFaceIsReportedAndTheOthersStillLoad)
{
    writeUniformFaces();
    std::filesystem::remove(facePath(2));
    std::string output;
    auto sky = makeSky(&output);
    EXPECT_EQ(output, "Failed to load cubemap texture assets/skybox/mnight/mnight_up.tga\n");
    glBindTexture(GL_TEXTURE_CUBE_MAP, sky->getCubemapId());
    // The missing face is black at the others' size, so the cube map stays
    // complete and the five good faces still sample.
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(readFace(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, 4, 4), std::vector<unsigned char>(4 * 4 * 3, 0));
    EXPECT_EQ(readFace(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 4, 4), uniformImage(4, 4, faceColours[5]));
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

// From inside the cube, with back faces culled, looking along an axis shows
// that axis's face across the middle of the window: the six files fill the
// faces in GL order (ft +X, bk -X, up +Y, dn -Y, rt +Z, lf -Z).
TEST_F(SkyboxTest, LookingAlongEachAxisShowsThatFace)
{
    writeUniformFaces();
    auto sky = makeSky();
    const glm::vec3 axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int face = 0; face < 6; ++face) {
        const glm::vec3 up = face == 2 || face == 3 ? glm::vec3(0, 0, 1) : glm::vec3(0, 1, 0);
        const Image shot = drawSky(*sky, glm::lookAt(glm::vec3(0.0f), axes[face], up));
        // The middle half of a 90 degree view lies within 27 degrees of the
        // axis, on that face only. A uniform face filters to its own colour,
        // so 1 level of rounding and no failing pixel are allowed.
        const ImageDifference difference =
            compareImages(shot, uniformWindow(faceColours[face]), 1, size / 4, size / 4, 3 * size / 4, 3 * size / 4);
        EXPECT_EQ(difference.failingShare, 0.0) << faceFiles[face] << ", largest difference " << difference.largest;
    }
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

// A side face's top row (the first row of its file) is up in the sky.
TEST_F(SkyboxTest, SideFaceFileTopIsUp)
{
    writeUniformFaces(8);
    std::vector<unsigned char> halves = uniformImage(8, 4, {250, 250, 250});
    const std::vector<unsigned char> bottom = uniformImage(8, 4, {5, 5, 5});
    halves.insert(halves.end(), bottom.begin(), bottom.end());
    writeFace(4, 8, 8, 3, halves); // +Z
    auto sky = makeSky();
    const Image shot = drawSky(*sky, glm::lookAt(glm::vec3(0.0f), glm::vec3(0, 0, 1), glm::vec3(0, 1, 0)));
    EXPECT_GT(shot.mean(96, 40, 160, 100).x, 240.0f) << "upper middle";
    EXPECT_LT(shot.mean(96, 156, 160, 216).x, 15.0f) << "lower middle";
}

// Geometry drawn first keeps its pixels; the sky, on the far plane, fills
// every other one. The depth function is GL_LESS afterwards whatever it was.
TEST_F(SkyboxTest, FillsEveryPixelNotCoveredByGeometryAndRestoresLess)
{
    const Rgb night = {30, 40, 120};
    for (int face = 0; face < 6; ++face)
        writeFace(face, 4, 4, 3, uniformImage(4, 4, night));
    auto sky = makeSky();

    dir.write("solid.vert", "#version 430 core\nlayout(location = 0) in vec3 position;\n"
                            "void main() { gl_Position = vec4(position, 1.0); }\n");
    dir.write("solid.frag", "#version 430 core\nout vec4 fragColor;\n"
                            "void main() { fragColor = vec4(1.0, 0.5, 0.0, 1.0); }\n");
    auto solid = Shader::build(dir.file("solid.vert"), dir.file("solid.frag"));
    // A counter-clockwise square over the middle half of the window, about
    // 18 units away: far beyond the unit cube, yet in front of the far plane.
    const float square[] = {-0.5f, -0.5f, 0.99f, 0.5f, -0.5f, 0.99f, 0.5f, 0.5f, 0.99f,
                            -0.5f, -0.5f, 0.99f, 0.5f, 0.5f, 0.99f, -0.5f, 0.5f, 0.99f};
    GLuint vao = 0, vbo = 0;
    glGenVertexArrays(1, &vao);
    glGenBuffers(1, &vbo);
    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof square, square, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    solid->use();
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glBindVertexArray(0);

    glDepthFunc(GL_GREATER);
    const glm::mat4 view = glm::lookAt(glm::vec3(4, 1, -3), glm::vec3(5, 1.5f, -1), glm::vec3(0, 1, 0));
    sky->setMatrices(view, squareProjection);
    sky->draw();
    GLint value = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LESS);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask);

    const Image shot = window();
    shot.savePng(::testing::TempDir() + "sky-around-square.png");
    Image expected = uniformWindow(night);
    for (int y = size / 4; y < 3 * size / 4; ++y)
        for (int x = size / 4; x < 3 * size / 4; ++x) {
            unsigned char* p = &expected.rgb[(static_cast<size_t>(y) * size + x) * 3];
            p[0] = 255, p[1] = 128, p[2] = 0;
        }
    // Uniform colours: 1 level of rounding (0.5 * 255 for the square), and
    // no pixel may fail: any black one is a sky pixel missing.
    const ImageDifference difference = compareImages(shot, expected, 1);
    EXPECT_EQ(difference.failingShare, 0.0) << "largest difference " << difference.largest;
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

// "view" reaches the program without its translation: moving the eye leaves
// the sky unchanged; turning it does not.
TEST_F(SkyboxTest, ViewLosesTranslationSoOnlyTurningMovesTheSky)
{
    writeUniformFaces();
    auto sky = makeSky();
    const glm::vec3 direction(1.0f, 0.4f, 0.7f);
    const glm::mat4 moved = glm::lookAt(glm::vec3(50, -30, 70), glm::vec3(50, -30, 70) + direction, glm::vec3(0, 1, 0));
    sky->setMatrices(moved, squareProjection);

    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    ASSERT_NE(current, 0);
    const GLuint program = static_cast<GLuint>(current);
    glm::mat4 view(0.0f), projection(0.0f);
    glGetUniformfv(program, glGetUniformLocation(program, "view"), glm::value_ptr(view));
    glGetUniformfv(program, glGetUniformLocation(program, "projection"), glm::value_ptr(projection));
    EXPECT_EQ(view, glm::mat4(glm::mat3(moved)));
    EXPECT_EQ(view[3], glm::vec4(0, 0, 0, 1));
    EXPECT_EQ(projection, squareProjection);

    const Image atOrigin = drawSky(*sky, glm::lookAt(glm::vec3(0.0f), direction, glm::vec3(0, 1, 0)));
    const Image away = drawSky(*sky, moved);
    const Image turned = drawSky(*sky, glm::lookAt(glm::vec3(0.0f), -direction, glm::vec3(0, 1, 0)));
    // Same matrices reach the GPU, so the pictures must match exactly.
    EXPECT_EQ(compareImages(atOrigin, away, 0).largest, 0);
    // Turned round, other faces fill most of the window.
    EXPECT_GT(compareImages(atOrigin, turned, 10).failingShare, 0.5);
    EXPECT_TRUE(GlContext::drainErrors().empty());
}
