#version 430 core
// Depth-only pass from the first spot light: each vertex goes through the
// model matrix into the light's clip space.

layout(location = 0) in vec3 position;

uniform mat4 lightSpaceMatrix; // light projection * light view
uniform mat4 model;

void main()
{
    gl_Position = lightSpaceMatrix * model * vec4(position, 1.0);
}
