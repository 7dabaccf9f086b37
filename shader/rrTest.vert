#version 430 core
// Reflection/refraction capture, vertex stage: places the vertex and hands
// the fragment stage what it needs to light the transparent models as the
// lit pass lights opaque surfaces, per pixel, without the shadow (only the
// lit pass and the composite receive it).

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec2 texCoord;
out vec3 worldPosition;
// Surface normal in world space; the fragment stage renormalises it.
out vec3 worldNormal;
// From the surface to the camera, not normalised.
out vec3 toCamera;

void main()
{
    vec4 world = model * vec4(position, 1.0);
    gl_Position = projection * view * world;
    texCoord = uv;
    worldPosition = world.xyz;
    // Model matrices scale uniformly, turn and move, so their upper 3 x 3
    // turns normals as it turns directions (the fragment stage renormalises).
    worldNormal = mat3(model) * normal;
    // The camera sits at -transpose(R) * t for a view matrix of rotation R
    // and translation t.
    toCamera = -(transpose(mat3(view)) * view[3].xyz) - world.xyz;
}
