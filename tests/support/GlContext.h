#pragma once

#include "ImageProbe.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <vector>

struct GLFWwindow;

// A hidden-window OpenGL 4.3 core context, current on the calling thread for
// the object's lifetime. Can be made and destroyed many times per process.
// Needs an X display (the gl test binary runs under Xvfb when none is set).
class GlContext {
public:
    explicit GlContext(int width = 256, int height = 256);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    bool ok() const { return window != nullptr; }
    // The lower left width x height of the bound read framebuffer.
    static Image readImage(int width, int height);
    // Drains the error queue and returns the codes seen.
    static std::vector<GLenum> drainErrors();

private:
    GLFWwindow* window = nullptr;
};

// Level 0 of a 2D texture, bottom row first: bytes in `format` (GL_RGB or
// GL_RGBA), or depths (-1 where the read-back wrote nothing).
std::vector<unsigned char> textureBytes(GLuint texture, int width, int height, GLenum format = GL_RGB);
std::vector<float> textureDepth(GLuint texture, int width, int height);

// An off-screen size x size RGBA8 colour target with a depth buffer; bound,
// with its viewport, by construction, bind(), clear() (black, depth 1) and
// read().
class RenderTarget {
public:
    explicit RenderTarget(int size);
    void bind() const;
    void clear() const;
    Image read() const;

    int size;
    GLuint fbo = 0, colour = 0, depth = 0;
};

// Fixture for gl tests: one fresh context per test, the working directory
// at the repository root (where shader/ and assets/ are).
class GlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    GlContext* context = nullptr;
};
