#version 430 core
// Lit scene, vertex stage: places the vertex and hands the fragment stage
// what it needs to light every pixel. All lighting happens there, so a
// triangle spanning a whole floor lights as well as a finely cut one.
//
// Every output is linear in the world position or interpolates a per-vertex
// attribute, so it is exact (position, view vector, light-space position) or
// a smooth blend (normal, texture coordinate) at every fragment.

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

// The shadow-casting light's view-projection (zero before the first shadow
// pass).
uniform mat4 lightSpaceMatrix;

out vec2 texCoord;
out vec3 worldPosition;
// Surface normal in world space; the fragment stage renormalises it.
out vec3 worldNormal;
// From the surface to the camera, not normalised.
out vec3 toCamera;
// lightSpaceMatrix * world position.
out vec4 lightClipPosition;

void main()
{
    vec4 world = model * vec4(position, 1.0);
    gl_Position = projection * view * world;
    texCoord = uv;
    worldPosition = world.xyz;
    // Model matrices scale uniformly, turn about the model's axis and move,
    // so their upper 3 x 3 turns normals as it turns directions (the scale
    // goes when the fragment stage renormalises).
    worldNormal = mat3(model) * normal;
    // The camera is the origin of view space. The view matrix is a rotation
    // R and a translation t, so the camera sits at -transpose(R) * t.
    toCamera = -(transpose(mat3(view)) * view[3].xyz) - world.xyz;
    lightClipPosition = lightSpaceMatrix * world;
#ifdef HAS_VERTEX_COLORS
    vertexColor = color;
#endif
#ifdef HAS_NORMAL_MAP
    // Turned like the normal; the fragment stage makes it perpendicular.
    vertexTangent = vec4(mat3(model) * tangent.xyz, tangent.w);
#endif
}
