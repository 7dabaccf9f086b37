#version 430 core

// One simulation step for every particle: move it, age it, retire it when it
// has lived out its time, and append the survivors to the output set through
// the atomic counter, so they end up packed at the start of the output set.
//
// Position w holds the kind and the age together:
//   fountain: 4 + f,  burst: 2 + f,  f = age / lifetime in [0, 1).
// New particles arrive from the CPU with f = 0 (w exactly 4.0 or 2.0).
// Velocity w is the emission time modulo 6 s and is passed through untouched.

layout(local_size_x = 256) in;

layout(std430, binding = 0) readonly buffer PositionsIn { vec4 positionsIn[]; };
layout(std430, binding = 1) readonly buffer VelocitiesIn { vec4 velocitiesIn[]; };
layout(std430, binding = 2) writeonly buffer PositionsOut { vec4 positionsOut[]; };
layout(std430, binding = 3) writeonly buffer VelocitiesOut { vec4 velocitiesOut[]; };
layout(binding = 4, offset = 0) uniform atomic_uint survivors;

uniform uint LastCount;    // particles in the input set
uniform uint MaximumCount; // capacity of the output set
uniform float DeltaT;      // seconds
uniform float Scale;       // the burst's size factor

// Fountain: 4 units/s up against 2.5 units/s^2 gives an arc 3.2 units high
// that falls back to its spout after 3.2 s; it dies just below the spout.
const float fountainLifetime = 3.4;
const float fountainGravity = 2.5;
// Burst: the sparks leave at 20 * Scale units/s, are slowed by air drag
// (velocity falls by e^-1.2 per second) and sag under a gravity that scales
// with the burst, so a burst keeps its shape at any scale. They are gone
// before the next burst, 60 / 32 s later.
const float burstLifetime = 1.8;
const float burstGravity = 12.5; // times Scale
const float burstDrag = 1.2;

void main()
{
    uint index = gl_GlobalInvocationID.x;
    if (index >= LastCount || index >= MaximumCount)
        return;

    vec4 position = positionsIn[index];
    vec4 velocity = velocitiesIn[index];

    bool fountain = position.w >= 3.5;
    float kind = fountain ? 4.0 : 2.0;
    float lifetime = fountain ? fountainLifetime : burstLifetime;
    float age = max(position.w - kind, 0.0) + DeltaT / lifetime;
    // Written as "not younger" so a NaN age retires the particle too.
    if (!(age < 1.0))
        return;

    // Semi-implicit Euler: the new velocity moves the particle.
    vec3 v = velocity.xyz;
    if (fountain) {
        v.y -= fountainGravity * DeltaT;
    } else {
        v *= exp(-burstDrag * DeltaT);
        v.y -= burstGravity * Scale * DeltaT;
    }
    vec3 p = position.xyz + v * DeltaT;

    // Never hand out a slot past the output's capacity: a slot that is too
    // far is given back, so the counter ends at min(survivors, MaximumCount).
    uint slot = atomicCounterIncrement(survivors);
    if (slot >= MaximumCount) {
        atomicCounterDecrement(survivors);
        return;
    }
    positionsOut[slot] = vec4(p, kind + age);
    velocitiesOut[slot] = vec4(v, velocity.w);
}
