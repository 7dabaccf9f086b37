#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <cstdint>
#include <memory>

class Shader;

// GPU particle system of up to 256 particles. The CPU writes new particles
// into the current storage-buffer set; a compute program moves them and
// writes the survivors, packed, into the other set through an atomic counter;
// the sets then swap roles.
//
// Owns: two sets of position/velocity storage buffers (256 std430 vec4
// records each), one atomic counter buffer, one vertex array per set, the
// compute program "shader/particles.comp" and the sprite program
// "shader/particles.vert/.frag/.geom". No GL object is ever deleted.
//
// Record w components, read by the shaders: position w is 4.0 for a fountain
// particle and 2.0 for a burst particle; velocity w is the emission time
// modulo 6 seconds. The compute program keeps each particle's age in the
// position w of the records it writes (see shader/particles.comp).
//
// Use: construct once the context exists, setScale(); per frame, with face
// culling off: emitFountain, emitBurst, update, draw. Random numbers come from
// GLM's random functions on the never-seeded std::rand, so every run spawns
// the same particles. Defaults: scale 1, time 0, no particles.
class ParticleSystem {
public:
    ParticleSystem();

    void setScale(float value) { scale = value; }
    // One particle at `point` per emission instant crossed by this frame;
    // `rate` is emissions per minute, `deltaTime` seconds.
    void emitFountain(double deltaTime, float rate, glm::vec3 point);
    // One burst of up to 64 particles from a jittered `point` when this frame
    // crosses at least one emission instant, however many it crosses.
    void emitBurst(double deltaTime, float rate, glm::vec3 point);
    // Advances the clock and runs the compute step; blocks on reading back the
    // survivor counter, which becomes the new count.
    void update(double deltaTime);
    // Max-blended sprites into the bound framebuffer; writes no depth. Leaves
    // blending off, the depth mask on and the blend equation at GL_MAX.
    void draw(const glm::mat4& view, const glm::mat4& projection);

    std::uint64_t getCount() const { return count; }
    unsigned int getCurrent() const { return current; }
    double getTime() const { return time; }
    GLuint getPositionBuffer(unsigned int set) const { return positionBuffers[set]; }
    GLuint getVelocityBuffer(unsigned int set) const { return velocityBuffers[set]; }
    GLuint getCounterBuffer() const { return counterBuffer; }

private:
    // Emission instants crossed between `time` and `time + deltaTime`.
    long long instantsCrossed(double deltaTime, float rate) const;
    // The emission time modulo 6 seconds, stored in velocity w.
    float phase() const;
    // Maps `buffer` write-only and stores `value` as record `index`.
    bool writeRecord(GLuint buffer, std::uint64_t index, const glm::vec4& value);
    bool spawn(const glm::vec4& position, const glm::vec4& velocity);

    std::uint64_t count = 0;
    float scale = 1.0f;
    double time = 0.0;
    std::uint32_t maxCount = 256;
    std::uint32_t initialW = 2;
    GLuint counterBuffer = 0;
    std::uint32_t current = 0;
    GLuint positionBuffers[2] = {0, 0};
    GLuint velocityBuffers[2] = {0, 0};
    GLuint vertexArrays[2] = {0, 0};
    std::shared_ptr<Shader> computeProgram;
    std::shared_ptr<Shader> renderProgram;
};
