#include "effects/ParticleSystem.h"

#include "render/Shader.h"

ParticleSystem::ParticleSystem() {}
void ParticleSystem::emitFountain(double, float, glm::vec3) {}
void ParticleSystem::emitBurst(double, float, glm::vec3) {}
void ParticleSystem::update(double) {}
void ParticleSystem::draw(const glm::mat4&, const glm::mat4&) {}
void ParticleSystem::writeRecord(GLuint, std::uint64_t, const glm::vec4&) {}
