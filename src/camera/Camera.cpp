#include "camera/Camera.h"

#include <glm/gtc/matrix_transform.hpp>

Camera::Camera(const glm::vec3& p, const glm::vec3& f, const glm::vec3& u, const std::string&)
    : position(p), initialFront(f), worldUp(u)
{
}
glm::mat4 Camera::getViewMatrix() const { return glm::lookAt(position, position + front, up); }
void Camera::move(CameraMovement, float) {}
void Camera::rotate(float, float) {}
void Camera::dolly(float) {}
void Camera::toggleAnimation() {}
void Camera::resetAnimation() {}
void Camera::updateAnimation(float) {}
glm::vec3 Camera::segmentPoint(const PathSegment&, double) { return glm::vec3(0.0f); }
float Camera::bernstein(unsigned, unsigned, float) { return 0.0f; }
void Camera::updateVectors() {}
void Camera::aimAt(const glm::vec3&) {}
void Camera::loadAnimationPath(const std::string&) {}
