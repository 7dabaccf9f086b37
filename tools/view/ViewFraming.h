#pragma once

#include "camera/PathSegment.h"
#include "scene/Lights.h"

#include <glm/glm.hpp>

#include <vector>

// Where velmora-view puts the models, the ground, the lights and the camera,
// from the models' bounds. The models are scaled so that their bounding
// sphere has a fixed radius (the viewer's depth range, light reach and
// shadow frustum are fixed in world units) and moved so that its centre is
// over the origin and their lowest point rests on the ground at y = 0.
//
// Directions below are azimuths about +y from +z towards +x and elevations
// above the ground; the camera starts at a front-right three-quarter view.
class ViewFraming {
public:
    // World radius of the models' bounding sphere.
    static constexpr float radius = 2.0f;
    // Vertical field of view of the viewer's projection, degrees.
    static constexpr float fieldOfView = 45.0f;
    // One turn of the orbit, seconds, in four quarter-circle segments.
    static constexpr float turnSeconds = 20.0f;
    // Half the side of the square ground, in bounding radii: the key light's
    // shadow of the bounding sphere falls within 8 radii of its centre.
    static constexpr float groundRadii = 10.0f;

    // `centre` and `sphereRadius`: the models' bounding sphere as the files
    // place them (after the rotation); `lowest`: their lowest y there. A
    // sphere of no size (a single point) keeps the models' own scale.
    ViewFraming(const glm::vec3& centre, float sphereRadius, float lowest);

    // Uniform scale and translation for every model (Model::setScale,
    // setPosition), applied after the rotation.
    float modelScale() const { return scale; }
    const glm::vec3& modelPosition() const { return position; }
    // The bounding sphere's centre in the world: over the origin.
    const glm::vec3& centre() const { return worldCentre; }

    // The ground: a square of half side groundHalfSize() at groundHeight(),
    // a hair below the models so that a flat bottom face does not fight it.
    float groundHalfSize() const { return groundRadii * radius; }
    float groundHeight() const { return -0.001f * radius; }

    // The shadow-casting key spot light above and in front; its inner cone
    // covers the bounding sphere.
    SpotLight keyLight() const;
    // Fill (low, on the camera's side) and rim (high, behind) point lights.
    PointLight fillLight() const;
    PointLight rimLight() const;

    // Distance from the sphere's centre at which it fills the field of view's
    // height: radius / sin(fieldOfView / 2).
    float eyeDistance() const;
    // The closed orbit at eyeDistance() and 20 degrees above the centre: four
    // cubic Bezier quarter circles, turnSeconds in all; and the look-at
    // track holding the centre for as long.
    std::vector<PathSegment> eyeTrack() const;
    std::vector<PathSegment> targetTrack() const;

private:
    float scale = 1.0f;
    glm::vec3 position{0.0f};
    glm::vec3 worldCentre{0.0f};
};
