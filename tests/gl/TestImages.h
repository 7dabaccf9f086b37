#pragma once

#include "TempDir.h"

#include <GL/glew.h>
#include <stb_image_write.h>

#include <string>
#include <vector>

// Small image files for texture and model tests, written with stb_image_write.

// A width x height PNG of `channels` (1 to 4) bytes per pixel, every pixel
// `pixel` (its first `channels` bytes). Returns the full path.
inline std::string writeSolidPng(const TempDir& dir, const std::string& relative, int width, int height,
                                 int channels, const std::vector<unsigned char>& pixel)
{
    dir.write(relative, ""); // creates the folders
    std::vector<unsigned char> data;
    for (int i = 0; i < width * height; ++i)
        data.insert(data.end(), pixel.begin(), pixel.begin() + channels);
    const std::string path = dir.file(relative);
    stbi_write_png(path.c_str(), width, height, channels, data.data(), width * channels);
    return path;
}

// Level 0 of a 2D texture as RGBA bytes (empty when it has no image).
inline std::vector<unsigned char> readTexture(GLuint texture, int* width = nullptr, int* height = nullptr)
{
    GLint w = 0;
    GLint h = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    if (width)
        *width = w;
    if (height)
        *height = h;
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 4);
    if (!pixels.empty()) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    }
    return pixels;
}
