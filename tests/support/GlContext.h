#pragma once

#include "ImageProbe.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <vector>

struct GLFWwindow;

// The lower left width x height of the bound read framebuffer.
Image readImage(int width, int height);
// Drains the error queue and returns the codes seen.
std::vector<GLenum> drainErrors();

// Level 0 of a 2D texture, bottom row first: bytes in `format` (GL_RGB or
// GL_RGBA), or depths (-1 where the read-back wrote nothing).
std::vector<unsigned char> textureBytes(GLuint texture, int width, int height, GLenum format = GL_RGB);
std::vector<float> textureDepth(GLuint texture, int width, int height);

// An off-screen size x size RGBA8 colour target with a depth buffer, bound
// with its viewport by construction, bind(), clear() (black, depth 1), read().
class RenderTarget {
public:
    explicit RenderTarget(int size);
    void bind() const;
    void clear() const;
    Image read() const;

    int size;
    GLuint fbo = 0, colour = 0, depth = 0;
};

// Fixture for gl tests: a fresh hidden-window OpenGL 4.3 core context per test
// (on $DISPLAY, or the gl binary's own Xvfb), the working directory at the
// repository root (where shader/ and assets/ are).
class GlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    GLFWwindow* window = nullptr;
};
