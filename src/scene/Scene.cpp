#include "scene/Scene.h"

#include "render/Model.h"
#include "render/Shader.h"

void Scene::load(std::string) {}
void Scene::update(float) {}
void Scene::draw(std::shared_ptr<Shader>, bool) {}
