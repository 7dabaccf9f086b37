// velmora-view's framing: where the models, ground, key light and orbit go
// for a bounding sphere, checked against the viewer's own projection and
// playback rather than the formulas that made them.
#include "ViewFraming.h"

#include "app/Viewer.h"
#include "camera/Camera.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// Points over a sphere: 24 x 12 directions.
std::vector<glm::vec3> sphere(const glm::vec3& centre, float radius)
{
    std::vector<glm::vec3> points;
    for (int i = 0; i < 24; ++i)
        for (int j = 0; j <= 12; ++j) {
            const float a = 6.2831853f * i / 24, e = 3.1415927f * j / 12 - 1.5707963f;
            points.push_back(centre + radius * glm::vec3(std::cos(e) * std::sin(a), std::sin(e), std::cos(e) * std::cos(a)));
        }
    return points;
}

TEST(ViewFraming, SphereRestsOnTheGroundFillsTheViewHeightAndTheKeyLightsAndShadowsItOnTheGround)
{
    // A model 50 units across whose lowest point is below its centre by less
    // than the radius (a box's corner sphere, say).
    const glm::vec3 fileCentre(30, -7, 12);
    const float fileRadius = 25, fileLowest = -22;
    const ViewFraming framing(fileCentre, fileRadius, fileLowest);
    const float s = framing.modelScale();
    const auto place = [&](const glm::vec3& p) { return framing.modelPosition() + s * p; };
    EXPECT_NEAR(s * fileRadius, ViewFraming::radius, 1e-5f);
    const glm::vec3 centre = place(fileCentre);
    EXPECT_NEAR(glm::length(centre - framing.centre()), 0.0f, 1e-5f);
    EXPECT_NEAR(centre.x, 0.0f, 1e-5f);
    EXPECT_NEAR(centre.z, 0.0f, 1e-5f);
    // The lowest point rests on the ground, a hair above it.
    const float lowest = place(glm::vec3(0, fileLowest, 0)).y;
    EXPECT_NEAR(lowest, 0.0f, 1e-5f);
    EXPECT_LT(framing.groundHeight(), lowest);
    EXPECT_GT(framing.groundHeight(), lowest - 0.01f * ViewFraming::radius);

    const std::vector<glm::vec3> points = sphere(centre, ViewFraming::radius);
    const std::vector<PathSegment> eye = framing.eyeTrack();
    const glm::mat4 projection = Viewer::makeProjection(1920, 1080);
    float tallest = 0.0f;
    for (int step = 0; step < 40; ++step) {
        // Playback's own points, at a quarter of a segment apart.
        const PathSegment& segment = eye[static_cast<std::size_t>(step / 10)];
        const glm::vec3 from = Camera::segmentPoint(segment, segment.duration * (step % 10) / 10.0);
        const glm::mat4 view = glm::lookAt(from, centre, glm::vec3(0, 1, 0));
        for (const glm::vec3& p : points) {
            const glm::vec4 clip = projection * view * glm::vec4(p, 1.0f);
            // In view: the sphere touches the top and bottom edges at most
            // (0.1 % for the Bezier's departure from the circle).
            EXPECT_LT(std::fabs(clip.y / clip.w), 1.001f) << step;
            EXPECT_LT(std::fabs(clip.x / clip.w), 1.0f) << step;
            tallest = std::max(tallest, std::fabs(clip.y / clip.w));
        }
        EXPECT_GT(from.y, framing.groundHeight()) << "the orbit dips below the ground at step " << step;
    }
    // ...and does fill it: a distance 2 % too large leaves it at 0.98.
    EXPECT_GT(tallest, 0.99f);

    // The key light's full-strength cone holds the whole sphere; the light
    // lies within the shadow map's 90 degree frustum and 100 units.
    const SpotLight key = framing.keyLight();
    const float halfWidth = 45.0f;
    EXPECT_LT(key.outerRadius, halfWidth);
    for (const glm::vec3& p : points) {
        const float angle = glm::degrees(std::acos(glm::dot(glm::normalize(p - key.position), glm::normalize(key.direction))));
        EXPECT_LT(angle, key.innerRadius);
        // The sphere's shadow on the ground falls on the ground.
        const glm::vec3 ray = p - key.position;
        ASSERT_LT(ray.y, 0.0f) << "the key light is not above the sphere";
        const glm::vec3 shadow = key.position + ray * ((framing.groundHeight() - key.position.y) / ray.y);
        EXPECT_LT(std::max(std::fabs(shadow.x), std::fabs(shadow.z)), framing.groundHalfSize());
    }
    EXPECT_LT(glm::length(key.position - centre) + ViewFraming::radius, 100.0f);
}

TEST(ViewFraming, OrbitIsOneClosedTurnInTwentySecondsThatPlaybackRepeats)
{
    const ViewFraming framing(glm::vec3(0.0f), 1.0f, -1.0f);
    const std::vector<PathSegment> eye = framing.eyeTrack();
    ASSERT_EQ(eye.size(), 4u);
    float total = 0.0f;
    for (std::size_t i = 0; i < eye.size(); ++i) {
        total += eye[i].duration;
        // Each quarter starts where the one before ends, the first where the
        // last ends.
        EXPECT_EQ(eye[i].points.front(), eye[(i + 3) % 4].points.back()) << i;
    }
    EXPECT_FLOAT_EQ(total, ViewFraming::turnSeconds);

    Camera camera(glm::vec3(0, 0, -5), glm::vec3(0, 0, 1), glm::vec3(0, 1, 0), "");
    camera.setPath(eye, framing.targetTrack(), true);
    camera.updateAnimation(5.0f);
    EXPECT_LT(glm::length(camera.getPosition() - eye[1].points.front()), 1e-4f);
    camera.updateAnimation(5.0f);
    EXPECT_LT(glm::length(camera.getPosition() - eye[2].points.front()), 1e-4f);
    // A turn and a quarter later, and a hundred turns later: the same place,
    // still looking at the centre.
    camera.updateAnimation(25.0f);
    EXPECT_LT(glm::length(camera.getPosition() - eye[3].points.front()), 1e-3f);
    camera.updateAnimation(2000.0f);
    EXPECT_LT(glm::length(camera.getPosition() - eye[3].points.front()), 1e-3f);
    EXPECT_LT(glm::length(camera.getFront() - glm::normalize(framing.centre() - camera.getPosition())), 1e-5f);
}

} // namespace
