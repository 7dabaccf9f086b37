#version 430 core

// Turns each point into a square facing the camera: the corners are offset
// in eye space, where x and y run along the screen, and then projected.

layout(points) in;
layout(triangle_strip, max_vertices = 4) out;

uniform mat4 ProjectionMatrix;
uniform float Scale;

in Particle
{
    float burst;
    float age;
    float phase;
} particle[];

out Sprite
{
    vec2 offset;       // -1 to 1 across the square
    flat float burst;
    flat float age;
    flat float phase;
} sprite;

// Half the side of a sprite, in world units at Scale 1.
const float fountainHalfSize = 1.0;
const float burstHalfSize = 2.0;

void main()
{
    vec4 centre = gl_in[0].gl_Position;
    float halfSize = Scale * mix(fountainHalfSize, burstHalfSize, particle[0].burst);
    const vec2 corners[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));
    for (int i = 0; i < 4; ++i) {
        sprite.offset = corners[i];
        sprite.burst = particle[0].burst;
        sprite.age = particle[0].age;
        sprite.phase = particle[0].phase;
        gl_Position = ProjectionMatrix * (centre + vec4(corners[i] * halfSize, 0.0, 0.0));
        EmitVertex();
    }
    EndPrimitive();
}
