#version 430 core
// Shows the shadow map as grey by distance from the light: black at the
// light, white at the far plane and where the light sees nothing.
//
// The stored depth d in [0, 1] is non-linear: the light's perspective
// (near 0.1, far 100) crowds almost every distance into d > 0.99. Undoing it,
// with z_ndc = 2d - 1,
//     distance = 2 * near * far / (far + near - z_ndc * (far - near)),
// gives the distance along the light's axis; divided by far it is a linear
// value in [0, 1]. That value is encoded for display with a 1/2.2 power, as
// any linear quantity written to an 8-bit screen: equal steps of distance
// then look like roughly equal steps of grey, so a scene 5 to 30 units from
// the light spreads over dark to mid grey (65 to 147 of 255) instead of
// crowding into the bottom tenth.

in vec2 texCoord;

uniform sampler2D depthMap;

out vec4 fragColor;

const float near = 0.1;
const float far = 100.0;

void main()
{
    float depth = texture(depthMap, texCoord).r;
    float zNdc = depth * 2.0 - 1.0;
    float distance = (2.0 * near * far) / (far + near - zNdc * (far - near));
    float grey = pow(clamp(distance / far, 0.0, 1.0), 1.0 / 2.2);
    fragColor = vec4(vec3(grey), 1.0);
}
