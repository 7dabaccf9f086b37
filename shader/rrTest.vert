#version 430 core
// Reflection/refraction capture, vertex stage: places the vertex and hands
// the fragment stage what it needs to light the transparent models as the
// lit pass lights opaque surfaces, per pixel, without the shadow (only the
// lit pass and the composite receive it).

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;
#ifdef HAS_VERTEX_COLORS
layout(location = 3) in vec4 color;
out vec4 vertexColor;
#endif
#ifdef HAS_NORMAL_MAP
// xyz tangent, w the bitangent's sign.
layout(location = 4) in vec4 tangent;
out vec4 vertexTangent;
#endif

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
#ifdef HAS_VERTEX_COLORS
    vertexColor = color;
#endif
#ifdef HAS_NORMAL_MAP
    // Turned like the normal; the fragment stage makes it perpendicular.
    vertexTangent = vec4(mat3(model) * tangent.xyz, tangent.w);
#endif
}
