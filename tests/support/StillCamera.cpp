#include "StillCamera.h"

#include "TempDir.h"
#include "app/Viewer.h"

#include <glm/gtc/matrix_transform.hpp>

#include <cmath>
#include <sstream>

StillCamera::StillCamera(const glm::vec3& eye, const glm::vec3& target)
    : eye(eye), target(target)
{
    // Playback aims from the eye at the target with world up (0, 1, 0).
    const glm::vec3 front = glm::normalize(target - eye);
    const glm::vec3 right = glm::normalize(glm::cross(front, glm::vec3(0.0f, 1.0f, 0.0f)));
    const glm::vec3 up = glm::normalize(glm::cross(right, front));
    viewProjection = Viewer::makeProjection(1920, 1080) * glm::lookAt(eye, eye + front, up);
}

std::string StillCamera::text(const glm::vec3& v)
{
    std::ostringstream out;
    out << v.x << "," << v.y << "," << v.z;
    return out.str();
}

void StillCamera::writePath(const TempDir& dir) const
{
    const std::string hold = "degree 0 0\nduration 1 100000\ntransfer 0 0\nposition0 3 ";
    dir.write("assets/animationpath.txt",
              "$path eye 10\n" + hold + text(eye) + "\n$path look 11\n" + hold + text(target) + "\n");
}

glm::ivec2 StillCamera::pixel(const glm::vec3& world) const
{
    const glm::vec4 clip = viewProjection * glm::vec4(world, 1.0f);
    const glm::vec2 ndc = glm::vec2(clip) / clip.w;
    return glm::ivec2(std::lround((ndc.x * 0.5f + 0.5f) * 1920.0f), std::lround((0.5f - ndc.y * 0.5f) * 1080.0f));
}
