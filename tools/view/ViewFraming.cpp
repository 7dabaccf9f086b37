#include "ViewFraming.h"

#include <cmath>

namespace {

constexpr float degree = 0.017453292f;

// Unit vector at azimuth `a` (from +z towards +x) and elevation `e`, degrees.
glm::vec3 towards(float a, float e)
{
    return glm::vec3(std::cos(e * degree) * std::sin(a * degree), std::sin(e * degree),
                     std::cos(e * degree) * std::cos(a * degree));
}

// Light placement, in bounding radii from the centre, and the orbit's angles.
constexpr float lightDistance = 3.5f;
constexpr float keyAzimuth = -35.0f, keyElevation = 50.0f;
constexpr float fillAzimuth = 70.0f, fillElevation = 15.0f;
constexpr float rimAzimuth = 165.0f, rimElevation = 40.0f;
constexpr float orbitStart = 30.0f, orbitElevation = 20.0f;

} // namespace

ViewFraming::ViewFraming(const glm::vec3& centre, float sphereRadius, float lowest)
{
    if (sphereRadius > 0.0f && std::isfinite(radius / sphereRadius))
        scale = radius / sphereRadius;
    position = -scale * centre + glm::vec3(0.0f, scale * (centre.y - lowest), 0.0f);
    worldCentre = glm::vec3(0.0f, scale * (centre.y - lowest), 0.0f);
}

SpotLight ViewFraming::keyLight() const
{
    const glm::vec3 from = towards(keyAzimuth, keyElevation);
    // The sphere seen from the light spans asin(1 / lightDistance) = 16.6
    // degrees either side of the axis; the full-strength cone reaches a
    // little past it, and the light fades out over 8 degrees beyond.
    const float covered = std::asin(1.0f / lightDistance) / degree;
    // Colour above 1: the light falls off over its distance to the model
    // (see the lit program), about to 0.44 of its colour at the near side.
    return SpotLight{worldCentre + lightDistance * radius * from, -from, glm::vec3(2.2f, 2.1f, 1.95f),
                     covered + 4.0f, covered + 12.0f};
}

PointLight ViewFraming::fillLight() const
{
    return PointLight{worldCentre + lightDistance * radius * towards(fillAzimuth, fillElevation),
                      glm::vec3(0.55f, 0.6f, 0.7f)};
}

PointLight ViewFraming::rimLight() const
{
    return PointLight{worldCentre + lightDistance * radius * towards(rimAzimuth, rimElevation),
                      glm::vec3(1.3f, 1.25f, 1.2f)};
}

float ViewFraming::eyeDistance() const { return radius / std::sin(0.5f * fieldOfView * degree); }

std::vector<PathSegment> ViewFraming::eyeTrack() const
{
    const float d = eyeDistance();
    const glm::vec3 middle = worldCentre + glm::vec3(0.0f, d * std::sin(orbitElevation * degree), 0.0f);
    const float rho = d * std::cos(orbitElevation * degree);
    // Control points of a cubic quarter circle sit along the tangents at
    // 4/3 tan(pi/8) of the radius: the curve strays at most 0.03 % from it.
    const float handle = 4.0f / 3.0f * std::tan(3.14159265f / 8.0f) * rho;
    std::vector<PathSegment> track;
    for (int quarter = 0; quarter < 4; ++quarter) {
        const float a = orbitStart + 90.0f * static_cast<float>(quarter);
        const float b = a + 90.0f;
        const glm::vec3 start = middle + rho * towards(a, 0.0f);
        const glm::vec3 end = middle + rho * towards(b, 0.0f);
        // d/da of towards(a, 0): the direction of travel at a.
        const glm::vec3 startTangent = towards(a + 90.0f, 0.0f);
        const glm::vec3 endTangent = towards(b + 90.0f, 0.0f);
        PathSegment segment;
        segment.transfer = 0;
        segment.duration = turnSeconds / 4.0f;
        segment.points = {start, start + handle * startTangent, end - handle * endTangent, end};
        track.push_back(segment);
    }
    // The last quarter ends exactly where the first begins.
    track.back().points.back() = track.front().points.front();
    return track;
}

std::vector<PathSegment> ViewFraming::targetTrack() const
{
    PathSegment hold;
    hold.transfer = 0;
    hold.duration = turnSeconds;
    hold.points = {worldCentre};
    return {hold};
}
