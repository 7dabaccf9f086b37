#pragma once

#include "camera/PathSegment.h"

#include <glm/glm.hpp>

#include <string>
#include <vector>

// One track of the camera path (eye or target) as a chain of Bézier
// segments, each with its duration and easing curve (transfer 0 linear,
// 1 ease in and out, 2 ease in, 3 ease out), built so that the motion is
// smooth in time: every segment starts where the previous one ended, with
// the same velocity, and its first leg continues the previous end tangent.
//
// The easing curves set the speed at a segment's ends: 1 and 2 start at
// rest, 1 and 3 arrive at rest. So a segment that follows an arrival at
// rest must start at rest (1 or 2), and one that follows a moving arrival
// must start moving (0 or 3); `next` throws std::logic_error otherwise.
class CameraTrack {
public:
    // `prefix` names the sections (prefix01, prefix02, ... in play order);
    // `kind` is their section kind (10 eye, 11 target).
    CameraTrack(std::string prefix, int kind);

    // The first segment, all control points given.
    void start(int transfer, float duration, std::vector<glm::vec3> points);
    // A further segment: P0 is the previous end. P1 lies on the previous
    // end tangent, where it keeps the velocity when the previous segment
    // arrives moving (then `lead` must be 0) or `lead` units along it when
    // the previous segment arrives at rest. `rest` holds P2 .. Pn.
    void next(int transfer, float duration, float lead, std::vector<glm::vec3> rest);

    // The section text of every segment.
    std::string text() const;

private:
    // d(eased time)/d(time) of a transfer curve at the start (0) or end (1)
    // of a segment, in units of 1 / duration.
    static float easingSlope(int transfer, int end);
    // Velocity (units per second) at the start (0) or end (1) of a segment.
    static glm::vec3 velocity(const PathSegment& segment, int end);

    std::string prefix;
    int kind;
    std::vector<PathSegment> segments; // P0 .. Pn each, durations in seconds
};
