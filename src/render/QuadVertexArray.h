#pragma once

#include <GL/glew.h>

#include <cstddef>

// Uploads `vertexCount` quad vertices of five floats each (x, y, z, u, v)
// into a new static buffer and a vertex array reading attribute 0 as the
// position (3 floats) and attribute 1 as the texture coordinate (2 floats),
// stride 20 bytes. Leaves no buffer or vertex array bound.
void createQuadVertexArray(const float* vertices, std::size_t vertexCount, GLuint& vao, GLuint& vbo);
