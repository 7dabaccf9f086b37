#version 430 core
// Lit scene, vertex stage: moves each vertex into world space for the
// per-fragment lighting, into clip space for rasterising, and into the
// shadow-casting light's clip space for the shadow lookup.

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
// The shadow-casting light's view-projection (zero before the first shadow
// pass; the fragment stage then treats everything as lit).
uniform mat4 lightSpaceMatrix;

out vec3 worldPosition;
out vec3 worldNormal;
out vec2 texCoord;
// The light's clip position is linear in world position, so interpolating it
// gives each fragment exactly what the product would give there.
out vec4 lightClipPosition;
// The same for every vertex of a draw, so it is not interpolated.
flat out vec3 cameraPosition;

void main()
{
    vec4 world = model * vec4(position, 1.0);
    worldPosition = world.xyz;
    // Normals go through the inverse transpose of the model matrix, which
    // keeps them perpendicular to the surface under any linear transform. A
    // zero normal (a mesh imported without normals) stays zero; the fragment
    // stage then uses the face normal.
    worldNormal = transpose(inverse(mat3(model))) * normal;
    texCoord = uv;
    lightClipPosition = lightSpaceMatrix * world;
    // The camera is the origin of view space, so its world position is the
    // translation column of the inverse view matrix.
    cameraPosition = inverse(view)[3].xyz;
    gl_Position = projection * view * world;
}
