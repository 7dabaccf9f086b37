#include "effects/ShadowMap.h"

#include "render/Model.h"
#include "render/Shader.h"

#include <glm/gtc/matrix_transform.hpp>

ShadowMap::ShadowMap() {}
void ShadowMap::setScreenSize(int w, int h) { screenWidth = w; screenHeight = h; }
void ShadowMap::render(std::vector<SpotLight>&, std::vector<std::shared_ptr<Model>>&) {}
void ShadowMap::setUniforms(std::shared_ptr<Shader>) {}
void ShadowMap::drawDebug() {}
glm::mat4 ShadowMap::lightView(const SpotLight&) { return glm::mat4(1.0f); }
