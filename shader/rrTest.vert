#version 430 core
// Reflection/refraction capture, vertex stage: the transparent models in
// world space, where their own lighting is computed as in the lit pass.

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec3 worldPosition;
out vec3 worldNormal;
out vec2 texCoord;
// The same for every vertex of a draw, so it is not interpolated.
flat out vec3 cameraPosition;

void main()
{
    vec4 world = model * vec4(position, 1.0);
    worldPosition = world.xyz;
    worldNormal = transpose(inverse(mat3(model))) * normal;
    texCoord = uv;
    // The camera is the origin of view space: the translation column of the
    // inverse view matrix.
    cameraPosition = inverse(view)[3].xyz;
    gl_Position = projection * view * world;
}
