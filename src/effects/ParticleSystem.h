#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <cstdint>
#include <memory>

class Shader;

// GPU particle system of up to 256 particles. The CPU writes new particles
// into the current storage-buffer set; a compute program moves them and
// writes the survivors, packed, into the other set through an atomic counter.
//
// Use: construct once the context exists, setScale(); per frame, with face
// culling off: emitFountain, emitBurst, update, draw.
class ParticleSystem {
public:
    ParticleSystem();

    void setScale(float value) { scale = value; }
    // `rate` is emissions per minute; one particle per instant crossed.
    void emitFountain(double deltaTime, float rate, glm::vec3 point);
    // At most one burst of up to 64 particles per call.
    void emitBurst(double deltaTime, float rate, glm::vec3 point);
    void update(double deltaTime);
    // Max-blended sprites; writes no depth.
    void draw(const glm::mat4& view, const glm::mat4& projection);

    std::uint64_t getCount() const { return count; }
    unsigned int getCurrent() const { return current; }
    double getTime() const { return time; }
    GLuint getPositionBuffer(unsigned int set) const { return positionBuffers[set]; }
    GLuint getVelocityBuffer(unsigned int set) const { return velocityBuffers[set]; }
    GLuint getCounterBuffer() const { return counterBuffer; }

private:
    void writeRecord(GLuint buffer, std::uint64_t index, const glm::vec4& value);

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
