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
    // The model matrix (a uniform scale, a turn, then the model's position)
    // and the view matrix (a rotation plus a translation) keep angles: their
    // upper 3 x 3 turn normals as they turn directions, and the fragment
    // stage normalises away the scale.
    viewNormal = mat3(view) * (mat3(model) * normal);
    texCoord = uv;
    gl_Position = projection * eye;
}
