#include "GlContext.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <unistd.h>

Image readImage(int width, int height)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    Image image{width, height, rgb};
    for (int y = 0; y < height; ++y) // GL rows run bottom up
        std::copy_n(&rgb[static_cast<size_t>(height - 1 - y) * width * 3], width * 3, &image.rgb[static_cast<size_t>(y) * width * 3]);
    return image;
}

std::vector<GLenum> drainErrors()
{
    std::vector<GLenum> errors;
    for (GLenum e = glGetError(); e != GL_NO_ERROR && errors.size() < 64; e = glGetError())
        errors.push_back(e);
    return errors;
}

void GlTest::SetUp()
{
    ASSERT_EQ(0, chdir(VELMORA_SOURCE_DIR));
    ASSERT_TRUE(glfwInit());
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    window = glfwCreateWindow(256, 256, "velmora-test", nullptr, nullptr);
    ASSERT_TRUE(window) << "no OpenGL 4.3 core context (is an X display available?)";
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    ASSERT_EQ(glewInit(), GLEW_OK);
    drainErrors();
}

void GlTest::TearDown()
{
    if (window)
        glfwDestroyWindow(window);
    glfwTerminate();
}

std::vector<unsigned char> textureBytes(GLuint texture, int width, int height, GLenum format)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(width) * height * (format == GL_RGBA ? 4 : 3));
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, bytes.data());
    return bytes;
}

std::vector<float> textureDepth(GLuint texture, int width, int height)
{
    std::vector<float> depths(static_cast<size_t>(width) * height, -1.0f);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
    return depths;
}

RenderTarget::RenderTarget(int size) : size(size)
{
    glGenFramebuffers(1, &fbo);
    glGenTextures(1, &colour);
    glBindTexture(GL_TEXTURE_2D, colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size, size);
    bind();
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
}

void RenderTarget::bind() const
{
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, size, size);
}

void RenderTarget::clear() const
{
    bind();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

Image RenderTarget::read() const
{
    bind();
    return readImage(size, size);
}
