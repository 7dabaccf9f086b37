#pragma once

#include "CameraTrack.h"

#include <glm/glm.hpp>

#include <string>
#include <vector>

// The layout of the shipped scene: where every model, light and the moon
// sit, and the camera's tour. It writes "assets/scene.txt" and
// "assets/animationpath.txt"; section names carry numbers so that the
// viewer's name order is the intended order (the ambient light, the
// shadow-casting spot light before the other lights, the opaque models
// before the glass; the tour's segments in play order).
class ShippedScene {
public:
    ShippedScene();

    // Unit direction from the scene towards the moon; the shadow-casting
    // spot light shines from there, so the sky's moon and the shadows agree.
    static glm::vec3 moonDirection();

    std::string sceneText() const;
    std::string pathText() const;

private:
    struct ModelPlacement {
        std::string section;
        std::string path; // relative to the working directory
        glm::vec3 position;
        glm::vec3 axis{0.0f};
        float speed = 0.0f; // degrees per second
        float transparency = 0.0f;
        float refraction = 0.0f;
        float reflection = 0.0f;
    };
    struct PointLight {
        std::string section;
        glm::vec3 position;
        glm::vec3 color;
    };
    struct SpotLight {
        std::string section;
        glm::vec3 position;
        glm::vec3 direction;
        glm::vec3 color;
        float innerRadius; // degrees
        float outerRadius;
    };

    void placeModels();
    void placeLights();
    void planTour();

    std::vector<ModelPlacement> models;
    std::vector<PointLight> pointLights;
    std::vector<SpotLight> spotLights;
    CameraTrack eye{"eye", 10};
    CameraTrack target{"look", 11};
};
