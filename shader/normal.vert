#version 430 core
// Refraction captures, vertex stage: the transparent models' surfaces with
// their normals in view space, where the composite refracts the view ray.

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;

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
    // The inverse transpose keeps normals perpendicular under any model
    // matrix; the view matrix is a rotation plus a translation, so its upper
    // 3x3 turns normals as it turns directions.
    viewNormal = mat3(view) * (transpose(inverse(mat3(model))) * normal);
    texCoord = uv;
    gl_Position = projection * eye;
}
