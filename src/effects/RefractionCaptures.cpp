#include "effects/RefractionCaptures.h"

#include "effects/PostProcFramebuffer.h"
#include "render/Shader.h"
#include "scene/Scene.h"

RefractionCaptures::RefractionCaptures(int, int) {}
void RefractionCaptures::render(Scene&, const glm::mat4&, const glm::mat4&) {}
void RefractionCaptures::bindForComposite(std::shared_ptr<Shader>) {}
