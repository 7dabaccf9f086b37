#include "render/StbTexture.h"

StbTexture::StbTexture() { glGenTextures(1, &id); }
void StbTexture::loadTexture2D(const char*) {}
void StbTexture::setWrapAndFilter(GLint, GLint) {}
void StbTexture::loadCubemap(std::vector<std::string>) {}
