#include "render/StbTexture.h"

#include <stb_image.h>

#include <iostream>

StbTexture::StbTexture() { glGenTextures(1, &id); }

void StbTexture::loadTexture2D(const char* path)
{
    unsigned char* data = stbi_load(path, &width, &height, &channels, 4);
    glBindTexture(GL_TEXTURE_2D, id);
    loaded = data != nullptr;
    if (data) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
        glGenerateMipmap(GL_TEXTURE_2D);
    } else {
        std::cout << "Failed to load texture " << path << std::endl;
    }
    stbi_image_free(data);
}

void StbTexture::setWrapAndFilter(GLint wrap, GLint filter)
{
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
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
