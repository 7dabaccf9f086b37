#version 430 core
// The sky cube around the camera. "view" comes without its translation, so
// the cube turns with the camera but never moves with it.

layout(location = 0) in vec3 position;

uniform mat4 view;
uniform mat4 projection;

// The corner's position is also the direction from the cube's centre (the
// eye) through it: the cube map lookup vector.
out vec3 direction;

void main()
{
    direction = position;
    vec4 clip = projection * view * vec4(position, 1.0);
    // z = w puts every sky fragment on the far plane (depth 1 after the
    // divide): drawn with GL_LEQUAL after the scene, it shows only where
    // nothing was drawn, whatever the cube's size and the near plane.
    gl_Position = clip.xyww;
}
