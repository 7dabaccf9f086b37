#version 430 core

// Passes each particle on in eye space; the geometry stage grows the sprite.

layout(location = 0) in vec4 position; // world xyz; w = kind + age fraction
layout(location = 1) in vec4 velocity; // world units/s; w = emission time mod 6 s

uniform mat4 ModelViewMatrix;

out Particle
{
    float burst; // 1 for a burst spark, 0 for a fountain drop
    float age;   // fraction of the lifetime spent, 0 to 1
    float phase; // emission time modulo 6 s
} particle;

void main()
{
    bool fountain = position.w >= 3.5;
    particle.burst = fountain ? 0.0 : 1.0;
    particle.age = clamp(position.w - (fountain ? 4.0 : 2.0), 0.0, 1.0);
    particle.phase = velocity.w;
    // w of the record is data, not a homogeneous coordinate.
    gl_Position = ModelViewMatrix * vec4(position.xyz, 1.0);
}
