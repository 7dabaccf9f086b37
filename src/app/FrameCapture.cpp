#include "app/FrameCapture.h"

#include <GL/glew.h>
#include <stb_image_write.h>

FrameCapture::FrameCapture(int width, int height)
    : width(width), height(height), pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3)
{
}

void FrameCapture::readBackBuffer()
{
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
}

bool FrameCapture::writePng(const std::string& path) const
{
    // OpenGL's rows run bottom up; the file's top down.
    stbi_flip_vertically_on_write(1);
    return stbi_write_png(path.c_str(), width, height, 3, pixels.data(), width * 3) != 0;
}
