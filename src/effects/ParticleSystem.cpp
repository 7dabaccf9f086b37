#include "effects/ParticleSystem.h"

#include "render/Shader.h"

#include <glm/gtc/random.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>

namespace {

constexpr GLsizeiptr recordSize = 4 * sizeof(float); // one std430 vec4
constexpr int burstSize = 64;
constexpr GLuint counterBinding = 4;
constexpr std::uint32_t workGroupSize = 256; // local_size_x of particles.comp

void reportErrors(const char* label)
{
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        std::cout << label << "OpenGL Error: " << error << std::endl;
}

} // namespace

ParticleSystem::ParticleSystem()
{
    reportErrors("Preparticle ");
    std::cout << "Creating Particles - max: " << maxCount << std::endl;

    const GLsizeiptr bufferSize = static_cast<GLsizeiptr>(maxCount) * recordSize;
    GLuint* buffers[4] = {&positionBuffers[0], &velocityBuffers[0], &positionBuffers[1], &velocityBuffers[1]};
    for (GLuint binding = 0; binding < 4; ++binding) {
        glGenBuffers(1, buffers[binding]);
        glBindBufferBase(GL_SHADER_STORAGE_BUFFER, binding, *buffers[binding]);
        glBufferData(GL_SHADER_STORAGE_BUFFER, bufferSize, nullptr, GL_DYNAMIC_DRAW);
    }

    // The counter starts at 0: every dispatch finds it bound and at zero, so
    // its value afterwards is exactly the number of survivors.
    const GLuint zero = 0;
    glGenBuffers(1, &counterBuffer);
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, counterBuffer);
    glBufferData(GL_ATOMIC_COUNTER_BUFFER, sizeof zero, nullptr, GL_DYNAMIC_DRAW);
    glBufferSubData(GL_ATOMIC_COUNTER_BUFFER, 0, sizeof zero, &zero);
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, 0);

    computeProgram = std::make_shared<Shader>();
    computeProgram->attachShader("shader/particles.comp", Shader::Compute);
    computeProgram->link();

    renderProgram = std::make_shared<Shader>();
    renderProgram->attachShader("shader/particles.vert", Shader::Vertex);
    renderProgram->attachShader("shader/particles.frag", Shader::Fragment);
    renderProgram->attachShader("shader/particles.geom", Shader::Geometry);
    renderProgram->link();

    // Attribute 0 is the position record, attribute 1 the velocity record.
    glGenVertexArrays(2, vertexArrays);
    for (int set = 0; set < 2; ++set) {
        glBindVertexArray(vertexArrays[set]);
        glBindBuffer(GL_ARRAY_BUFFER, positionBuffers[set]);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
        glBindBuffer(GL_ARRAY_BUFFER, velocityBuffers[set]);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
    }
    glBindVertexArray(0);

    reportErrors("Particle Constructor ");
}

long long ParticleSystem::instantsCrossed(double deltaTime, float rate) const
{
    const double interval = static_cast<double>(60.0f / rate);
    if (!(interval > 0.0) || !std::isfinite(interval))
        return 0;
    const double before = time / interval;
    const double after = (time + deltaTime) / interval;
    // Clocks that do not fit a 64-bit count (or a NaN frame time) emit nothing.
    constexpr double limit = 9.0e18;
    if (!(std::fabs(before) < limit) || !(std::fabs(after) < limit))
        return 0;
    return static_cast<long long>(after) - static_cast<long long>(before);
}

float ParticleSystem::phase() const
{
    const float t = static_cast<float>(time);
    return t - std::floor(t / 6.0f) * 6.0f;
}

bool ParticleSystem::writeRecord(GLuint buffer, std::uint64_t index, const glm::vec4& value)
{
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 0, buffer);
    auto* records = static_cast<unsigned char*>(glMapBuffer(GL_SHADER_STORAGE_BUFFER, GL_WRITE_ONLY));
    if (!records)
        return false;
    std::memcpy(records + index * recordSize, &value[0], recordSize);
    glUnmapBuffer(GL_SHADER_STORAGE_BUFFER);
    return true;
}

// Appends one particle to the current set; false when the set is full or a
// buffer cannot be mapped.
bool ParticleSystem::spawn(const glm::vec4& position, const glm::vec4& velocity)
{
    if (count >= maxCount)
        return false;
    if (!writeRecord(positionBuffers[current], count, position))
        return false;
    if (!writeRecord(velocityBuffers[current], count, velocity))
        return false;
    ++count;
    return true;
}

void ParticleSystem::emitFountain(double deltaTime, float rate, glm::vec3 point)
{
    const long long emissions = instantsCrossed(deltaTime, rate);
    for (long long i = 0; i < emissions && count < maxCount; ++i) {
        // The upward speed is not scaled: only the spread shrinks with scale.
        const glm::vec2 spread = glm::diskRand(4.0f);
        const glm::vec4 position(point, static_cast<float>(2 * initialW));
        const glm::vec4 velocity(spread.x * scale, 4.0f, spread.y * scale, phase());
        if (!spawn(position, velocity))
            return;
    }
}

void ParticleSystem::emitBurst(double deltaTime, float rate, glm::vec3 point)
{
    if (instantsCrossed(deltaTime, rate) <= 0)
        return;
    point += glm::ballRand(10.0f) * scale;
    for (int i = 0; i < burstSize && count < maxCount; ++i) {
        const glm::vec4 position(point, static_cast<float>(initialW));
        const glm::vec4 velocity(glm::sphericalRand(20.0f) * scale, phase());
        if (!spawn(position, velocity))
            return;
    }
}

void ParticleSystem::update(double deltaTime)
{
    time += deltaTime;

    computeProgram->use();
    computeProgram->setUInt("LastCount", static_cast<std::uint32_t>(count));
    computeProgram->setUInt("MaximumCount", maxCount);
    computeProgram->setFloat("DeltaT", static_cast<float>(deltaTime));
    computeProgram->setFloat("Scale", scale);

    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 0, positionBuffers[current]);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 1, velocityBuffers[current]);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 2, positionBuffers[1 - current]);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 3, velocityBuffers[1 - current]);
    // Bound before every dispatch: the shader's survivor counter must be ours
    // (holding 0) from the very first frame on.
    glBindBufferBase(GL_ATOMIC_COUNTER_BUFFER, counterBinding, counterBuffer);
    current = 1 - current;

    glDispatchCompute(static_cast<GLuint>(count / workGroupSize) + 1, 1, 1);
    // The counter is read through a mapping, which needs the buffer-update bit
    // besides the counter bit to see the shader's increments.
    glMemoryBarrier(GL_ATOMIC_COUNTER_BARRIER_BIT | GL_BUFFER_UPDATE_BARRIER_BIT);

    glBindBufferBase(GL_ATOMIC_COUNTER_BUFFER, counterBinding, counterBuffer);
    auto* counter = static_cast<GLuint*>(
        glMapBufferRange(GL_ATOMIC_COUNTER_BUFFER, 0, sizeof(GLuint), GL_MAP_READ_BIT | GL_MAP_WRITE_BIT));
    if (counter) {
        // The shader never hands out more than MaximumCount slots; the clamp
        // only guards the next dispatch and draw against a faulty program.
        count = std::min<std::uint64_t>(*counter, maxCount);
        *counter = 0;
        glUnmapBuffer(GL_ATOMIC_COUNTER_BUFFER);
    } else {
        count = 0;
    }

    // The draw reads the new set as vertex attributes; the next emitters map
    // it and the next dispatch reads it as storage.
    glMemoryBarrier(GL_VERTEX_ATTRIB_ARRAY_BARRIER_BIT | GL_BUFFER_UPDATE_BARRIER_BIT |
                    GL_SHADER_STORAGE_BARRIER_BIT);

    reportErrors("Particle Calculation ");
}

void ParticleSystem::draw(const glm::mat4& view, const glm::mat4& projection)
{
    // With GL_MAX the factors do not enter: each channel keeps the larger of
    // the sprite and what lies behind it.
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    glBlendFunc(GL_SRC_COLOR, GL_SRC_COLOR);
    glBlendEquation(GL_MAX);

    renderProgram->use();
    renderProgram->setMat4("ModelViewMatrix", view);
    renderProgram->setMat4("ProjectionMatrix", projection);
    renderProgram->setFloat("Scale", scale);

    glBindVertexArray(vertexArrays[current]);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(count));
    glBindVertexArray(0);

    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);

    reportErrors("Particle Draw ");
}
