#version 430 core
// Night sky colour from the cube map on texture unit 0 (the sampler's
// default unit; it is never set).

in vec3 direction;

uniform samplerCube sky;

out vec4 fragColor;

void main()
{
    fragColor = vec4(texture(sky, direction).rgb, 1.0);
}
