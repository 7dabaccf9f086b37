#version 430 core
// Test quad, vertex stage. The capture targets hold this program because a
// render target is built with one; the frame never draws with it. It passes
// the full-screen quad through unchanged.

layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv;

out vec2 texCoord;

void main()
{
    texCoord = uv;
    gl_Position = vec4(position, 1.0);
}
