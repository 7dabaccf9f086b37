#pragma once

#include <glm/glm.hpp>

#include <vector>

// One Bezier segment of a camera track: control points P0..Pn played over
// `duration` seconds through the easing curve `transfer`
// (0 linear, 1 ease in and out, 2 ease in, 3 ease out; other values linear).
struct PathSegment {
    int transfer = 0;
    float duration = 0.0f;
    std::vector<glm::vec3> points;
};
