#version 430 core
// Test quad, fragment stage: shows the texture on unit 0 as it is.

in vec2 texCoord;

uniform sampler2D image;

layout(location = 0) out vec4 fragColor;

void main()
{
    fragColor = vec4(texture(image, texCoord).rgb, 1.0);
}
