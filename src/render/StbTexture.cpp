#include "render/StbTexture.h"

#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iostream>

unsigned long StbTexture::decodes = 0;

StbTexture::StbTexture() { glGenTextures(1, &id); }

void StbTexture::loadTexture2D(const char* path)
{
    ++decodes;
    uploadDecoded(stbi_load(path, &width, &height, &channels, 4), path);
}

void StbTexture::loadTexture2DFromMemory(const unsigned char* bytes, std::size_t size, const std::string& label)
{
    ++decodes;
    uploadDecoded(size <= static_cast<std::size_t>(INT_MAX)
                      ? stbi_load_from_memory(bytes, static_cast<int>(size), &width, &height, &channels, 4)
                      : nullptr,
                  label);
}

void StbTexture::uploadDecoded(unsigned char* data, const std::string& label)
{
    glBindTexture(GL_TEXTURE_2D, id);
    loaded = data != nullptr;
    translucent = normalMap = false;
    if (data)
        uploadRgba(data);
    else
        std::cout << "Failed to load texture " << label << std::endl;
    stbi_image_free(data);
}

void StbTexture::uploadRgba(const unsigned char* rgba)
{
    examine(rgba);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glGenerateMipmap(GL_TEXTURE_2D);
}

void StbTexture::examine(const unsigned char* rgba)
{
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::size_t normals = 0;
    translucent = false;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* texel = rgba + 4 * i;
        translucent = translucent || texel[3] < 255;
        const float x = texel[0] / 127.5f - 1.0f, y = texel[1] / 127.5f - 1.0f, z = texel[2] / 127.5f - 1.0f;
        const float length = std::sqrt(x * x + y * y + z * z);
        const int spread = std::max({texel[0], texel[1], texel[2]}) - std::min({texel[0], texel[1], texel[2]});
        if (std::abs(length - 1.0f) <= 0.25f && z > 0.25f && spread > 16)
            ++normals;
    }
    normalMap = count > 0 && normals * 5 >= count * 4;
}

void StbTexture::loadTexture2DFromPixels(int pixelWidth, int pixelHeight, const unsigned char* rgba)
{
    width = pixelWidth;
    height = pixelHeight;
    channels = 4;
    glBindTexture(GL_TEXTURE_2D, id);
    uploadRgba(rgba);
    loaded = true;
}

void StbTexture::setWrapAndFilter(GLint wrap, GLint minFilter, GLint magFilter)
{
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
}

void StbTexture::setMaxAnisotropy(float limit)
{
    if (!GLEW_EXT_texture_filter_anisotropic && !GLEW_ARB_texture_filter_anisotropic)
        return;
    // Mesa's CPU rasterisers offer the extension but take every anisotropic
    // probe for every pixel, magnified ones included: on llvmpipe the
    // shipped scene's frame took about twice as long, its first frame's
    // shader variants over 200 ms more to compile, and magnified textures
    // came out blurred. There the mipmaps' trilinear filter is left alone.
    static const bool softwareRasteriser = [] {
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        return renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe"));
    }();
    if (softwareRasteriser)
        return;
    // Both extensions share the enum values.
    GLfloat supported = 1.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &supported);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, supported < limit ? supported : limit);
}

void StbTexture::loadCubemap(std::vector<std::string> faces)
{
    glBindTexture(GL_TEXTURE_CUBE_MAP, id);
    // Rows of 3-byte pixels need not be 4-byte aligned; upload them packed
    // and put the default back afterwards.
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    bool loaded[6] = {false, false, false, false, false, false};
    int faceWidth = 0;
    int faceHeight = 0;
    for (size_t i = 0; i < faces.size(); ++i) {
        // Faces are always decoded to three channels (grey, grey-alpha and
        // RGBA files included), matching the GL_RGB upload below.
        unsigned char* data = stbi_load(faces[i].c_str(), &width, &height, &channels, 3);
        if (!data) {
            std::cout << "Failed to load cubemap texture " << faces[i] << std::endl;
        } else {
            glTexImage2D(static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i), 0, GL_RGB, width, height, 0, GL_RGB,
                         GL_UNSIGNED_BYTE, data);
            if (i < 6) {
                loaded[i] = true;
                faceWidth = width;
                faceHeight = height;
            }
        }
        stbi_image_free(data);
    }
    // A cube map with a face missing is incomplete and samples black in
    // every direction; a black face of the others' size keeps the five
    // good faces showing.
    if (faceWidth > 0) {
        const std::vector<unsigned char> black(static_cast<size_t>(faceWidth) * faceHeight * 3, 0);
        for (int i = 0; i < 6; ++i)
            if (!loaded[i])
                glTexImage2D(static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i), 0, GL_RGB, faceWidth,
                             faceHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, black.data());
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
}
