#version 430 core
// Depth-only pass from the first spot light: each vertex goes through the
// model matrix into the light's clip space. Materials whose alpha decides
// what casts (a mask, a blend) also hand on what their alpha is made of.

layout(location = 0) in vec3 position;
#if defined(HAS_ALPHA_MASK) || defined(HAS_ALPHA_BLEND)
layout(location = 2) in vec2 uv;
out vec2 texCoord;
#ifdef HAS_VERTEX_COLORS
layout(location = 3) in vec4 color;
out vec4 vertexColor;
#endif
#endif

uniform mat4 lightSpaceMatrix; // light projection * light view
uniform mat4 model;

void main()
{
    gl_Position = lightSpaceMatrix * model * vec4(position, 1.0);
#if defined(HAS_ALPHA_MASK) || defined(HAS_ALPHA_BLEND)
    texCoord = uv;
#ifdef HAS_VERTEX_COLORS
    vertexColor = color;
#endif
#endif
}
