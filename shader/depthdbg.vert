#version 430 core
// Debug view of the shadow map on the upper right quarter of the screen.
//
// The quad arrives as two clockwise triangles over x, y in [0, 1] with
// texture coordinates equal to x, y. Face culling (GL_BACK, counter-clockwise
// fronts) is on when it is drawn, so the quad is mirrored about its vertical
// centre line x = 0.5: that reverses the winding and makes both triangles
// front-facing. The texture coordinate u is mirrored as well, so that after
// both flips a point at screen x still samples u = x and the map keeps its
// orientation (texel (0, 0) at the lower left corner of the quad).
//
// The quad is put on the near plane (z = -1, window depth 0) so that it lies
// over whatever the scene has drawn there.

layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv;

out vec2 texCoord;

void main()
{
    texCoord = vec2(1.0 - uv.x, uv.y);
    gl_Position = vec4(1.0 - position.x, position.y, -1.0, 1.0);
}
