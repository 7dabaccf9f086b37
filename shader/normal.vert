#version 430 core
// Refraction captures, vertex stage: the transparent models' surfaces with
// their normals in view space, where the composite refracts the view ray.

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

out vec3 viewPosition;
out vec3 viewNormal;
out vec2 texCoord;

void main()
{
    vec4 eye = view * model * vec4(position, 1.0);
    viewPosition = eye.xyz;
    // The model matrix (a uniform scale, a turn, then the model's position)
    // and the view matrix (a rotation plus a translation) keep angles: their
    // upper 3 x 3 turn normals as they turn directions, and the fragment
    // stage normalises away the scale.
    viewNormal = mat3(view) * (mat3(model) * normal);
    texCoord = uv;
    gl_Position = projection * eye;
#ifdef HAS_VERTEX_COLORS
    vertexColor = color;
#endif
#ifdef HAS_NORMAL_MAP
    // Turned like the normal; the fragment stage makes it perpendicular.
    vertexTangent = vec4(mat3(view) * (mat3(model) * tangent.xyz), tangent.w);
#endif
}
