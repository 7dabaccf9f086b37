#pragma once

#include "camera/PathSegment.h"

#include <glm/glm.hpp>

#include <string>
#include <vector>

// Direction codes for keyboard moves; the frame loop binds W, S, A, D to
// Down, Up, Right, Left (in the plane of the screen, no forward move).
enum CameraMovement { Down = 0, Up = 1, Right = 2, Left = 3 };

// The single viewpoint. It owns its two path tracks (eye point and looked-at
// point). It starts in path playback (`animated`): updateAnimation moves it
// along the tracks each frame and move/rotate do nothing. toggleAnimation
// (Space) switches to free flight, where move and rotate act and the path
// clocks stand still. dolly (scroll wheel) works in both modes.
//
// Angles are degrees, times seconds, distances world units.
class Camera {
public:
    // Reads the tracks from `pathFile` (the viewer passes the default); an
    // empty name reads nothing and leaves the tracks to setPath(). A missing
    // file leaves both tracks empty; a path section without a
    // numeric "degree" or "transfer", or with a degree above maxDegree,
    // raises std::invalid_argument / std::out_of_range whose what() begins
    // with the file name, e.g.
    //   assets/animationpath.txt: section 'eye1' key 'degree': 'x' is not a number
    Camera(const glm::vec3& position, const glm::vec3& initialFront, const glm::vec3& worldUp,
           const std::string& pathFile = "assets/animationpath.txt");

    // Largest Bezier degree a path section may give.
    static constexpr int maxDegree = 4096;

    glm::mat4 getViewMatrix() const;
    // Free flight only: moves by movementSpeed * deltaTime along -up, +up,
    // +right or -right.
    void move(CameraMovement direction, float deltaTime);
    // Free flight only: turns by 0.3 degrees per pixel; pitch stays within
    // [-89, 89]. The view is rebuilt from the accumulated yaw and pitch.
    void rotate(float xOffset, float yOffset);
    // Moves along the view direction by `offset` units, in both modes.
    void dolly(float offset);
    void toggleAnimation();
    // Prints "Resetting animation" and restarts both tracks (either mode).
    void resetAnimation();
    // Playback only: advances both track clocks and aims at the target.
    // Called once per frame after the keyboard moves.
    void updateAnimation(float deltaTime);
    // Replaces both tracks and restarts them. With `loop`, a track that
    // reaches its end starts again from its first segment, carrying the
    // excess time (a closed track then plays without end); a track of no
    // playing time at all never loops.
    void setPath(std::vector<PathSegment> positionSegments, std::vector<PathSegment> targetSegments, bool loop);

    // Point of a segment at clock t (seconds into the segment).
    static glm::vec3 segmentPoint(const PathSegment& segment, double t);
    // Bernstein basis value b(n, i, u).
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
    glm::vec3 initialFront;  // orientation rotates it into front
    // Overwritten at construction; they are also what a degenerate first aim
    // keeps.
    glm::vec3 front{0.0f, 0.0f, 1.0f};
    glm::vec3 up{0.0f, 1.0f, 0.0f};
    glm::vec3 right{-1.0f, 0.0f, 0.0f};
    glm::vec3 worldUp;  // only used to derive right
    float yaw = 0.0f;   // never wrapped
    float pitch = 0.0f; // within [-89, 89]
    float movementSpeed = 2.5f;  // units per second
    glm::mat3 orientation{1.0f};
    glm::vec3 target{0.0f};
    bool animated = true;
    double positionClock = 0.0;  // seconds into the current segment
    double targetClock = 0.0;
    int positionSegment = 0;     // equal to the track size once it has finished
    int targetSegment = 0;
    bool looping = false;
    std::vector<PathSegment> positionTrack;
    std::vector<PathSegment> targetTrack;
};
