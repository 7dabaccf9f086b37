#pragma once

#include "scene/Lights.h"

#include <glm/glm.hpp>

#include <memory>
#include <string>
#include <vector>

class Model;
class Shader;

// The loaded scene: models (in section-name order), point and spot lights,
// and the ambient light. Loaded once; afterwards only the models' angles move.
class Scene {
public:
    // Reads the scene file and imports every model it names. Conversion
    // errors from the reader propagate (std::invalid_argument /
    // std::out_of_range, with the file and section in what()).
    void load(std::string path);
    void update(float deltaTime);

    // Sends the light uniforms to `shader` (which the caller has made current)
    // and draws every model whose transparency class equals `transparentPass`.
    void draw(std::shared_ptr<Shader> shader, bool transparentPass);

    std::vector<std::shared_ptr<Model>>& getModels() { return models; }
    std::vector<SpotLight>& getSpotLights() { return spotLights; }
    std::vector<PointLight>& getPointLights() { return pointLights; }
    float getAmbientStrength() const { return ambientStrength; }
    const glm::vec3& getAmbientColor() const { return ambientColor; }

private:
    std::vector<PointLight> pointLights;
    std::vector<SpotLight> spotLights;
    std::vector<std::shared_ptr<Model>> models;
    float ambientStrength = 0.0f;
    glm::vec3 ambientColor{0.0f};
};
