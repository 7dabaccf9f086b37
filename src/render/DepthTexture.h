#pragma once

#include <GL/glew.h>

// Creates a depth texture for a framebuffer's depth attachment: unsized
// GL_DEPTH_COMPONENT (the driver picks the precision), no initial data,
// nearest filtering and GL_REPEAT wrapping, so programs that sample it must
// keep their lookups inside [0, 1] themselves. Leaves it bound to
// GL_TEXTURE_2D on the active unit.
GLuint createDepthTexture(int width, int height);
