#version 430 core
// Composite, vertex stage: the full-screen quad, passed through. Its two
// triangles are wound clockwise; the frame draws it with front faces culled.
// The fragment stage addresses the captures by window pixel, so the quad's
// texture coordinate (attribute 1) is not needed.

layout(location = 0) in vec3 position;

void main()
{
    gl_Position = vec4(position, 1.0);
}
