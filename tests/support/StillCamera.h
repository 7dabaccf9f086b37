#pragma once

#include <glm/glm.hpp>

#include <string>

class TempDir;

// A camera path that holds the eye at one point looking at another for a
// long time, and where world points then land on the 1920 x 1080 window
// through the viewer's own camera and projection.
class StillCamera {
public:
    StillCamera(const glm::vec3& eye, const glm::vec3& target);

    // Writes the path as assets/animationpath.txt of `dir`.
    void writePath(const TempDir& dir) const;
    // Window pixel of a world point, y = 0 at the top.
    glm::ivec2 pixel(const glm::vec3& world) const;

    // "x,y,z" as the data files write vectors.
    static std::string text(const glm::vec3& v);

private:
    glm::vec3 eye;
    glm::vec3 target;
    glm::mat4 viewProjection;
};
