#pragma once

#include "camera/PathSegment.h"

#include <glm/glm.hpp>

#include <string>
#include <vector>

// Direction codes for keyboard moves (W, S, A, D in that order).
enum CameraMovement { Down = 0, Up = 1, Right = 2, Left = 3 };

// The single viewpoint. Starts in path playback (`animated`), following the
// eye and target tracks of "assets/animationpath.txt"; Space switches to
// free flight, where move/rotate act. dolly works in both modes.
class Camera {
public:
    // Reads the path file from `pathFile` (the viewer passes the default).
    Camera(const glm::vec3& position, const glm::vec3& initialFront, const glm::vec3& worldUp,
           const std::string& pathFile = "assets/animationpath.txt");

    glm::mat4 getViewMatrix() const;
    void move(CameraMovement direction, float deltaTime);
    void rotate(float xOffset, float yOffset);
    void dolly(float offset);
    void toggleAnimation();
    void resetAnimation();
    void updateAnimation(float deltaTime);

    // Evaluates a segment at clock t (seconds into the segment).
    static glm::vec3 segmentPoint(const PathSegment& segment, double t);
    static float bernstein(unsigned n, unsigned i, float u);

    const glm::vec3& getPosition() const { return position; }
    const glm::vec3& getFront() const { return front; }
    const glm::vec3& getUp() const { return up; }
    const glm::vec3& getRight() const { return right; }
    const glm::vec3& getTarget() const { return target; }
    float getYaw() const { return yaw; }
    float getPitch() const { return pitch; }
    const glm::mat3& getOrientation() const { return orientation; }
    bool isAnimated() const { return animated; }
    const std::vector<PathSegment>& getPositionTrack() const { return positionTrack; }
    const std::vector<PathSegment>& getTargetTrack() const { return targetTrack; }

private:
    void updateVectors();
    void aimAt(const glm::vec3& direction);
    void loadAnimationPath(const std::string& pathFile);

    glm::vec3 position;
    glm::vec3 initialFront;
    glm::vec3 front{0.0f, 0.0f, 1.0f};
    glm::vec3 up{0.0f, 1.0f, 0.0f};
    glm::vec3 right{-1.0f, 0.0f, 0.0f};
    glm::vec3 worldUp;
    float yaw = 0.0f;
    float pitch = 0.0f;
    float movementSpeed = 2.5f;
    glm::mat3 orientation{1.0f};
    glm::vec3 target{0.0f};
    bool animated = true;
    double positionClock = 0.0;
    double targetClock = 0.0;
    int positionSegment = 0;
    int targetSegment = 0;
    std::vector<PathSegment> positionTrack;
    std::vector<PathSegment> targetTrack;
};
