#include "render/Skybox.h"

#include "render/Shader.h"
#include "render/StbTexture.h"

Skybox::Skybox() {}
void Skybox::setShader(std::shared_ptr<Shader> s) { shader = std::move(s); }
void Skybox::setMatrices(const glm::mat4&, const glm::mat4&) {}
void Skybox::draw() {}
GLuint Skybox::getCubemapId() const { return 0; }
