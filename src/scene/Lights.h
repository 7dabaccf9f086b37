#pragma once

#include <glm/glm.hpp>

// A point light: world position and RGB colour (not clamped).
struct PointLight {
    glm::vec3 position{0.0f};
    glm::vec3 color{0.0f};
};

// A spot light. `direction` is kept as written (not normalised); the radii
// are cone angles in degrees, turned into cosines only when sent to a shader.
struct SpotLight {
    glm::vec3 position{0.0f};
    glm::vec3 direction{0.0f};
    glm::vec3 color{0.0f};
    float innerRadius = 0.0f;
    float outerRadius = 0.0f;
};
