#include "camera/Camera.h"

#include "CoutCapture.h"
#include "ExpectVec3.h"
#include "TempDir.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

// A camera as start-up makes it, with no path file (both tracks empty).
class CameraTest : public ::testing::Test {
protected:
    CameraTest()
    {
        CoutCapture quiet;
        camera = std::make_unique<Camera>(glm::vec3(0.0f, 0.0f, -5.0f), glm::vec3(0.0f, 0.0f, 1.0f),
                                          glm::vec3(0.0f, 1.0f, 0.0f), dir.file("absent.txt"));
    }
    void freeFlight()
    {
        camera->toggleAnimation();
        ASSERT_FALSE(camera->isAnimated());
    }

    TempDir dir;
    std::unique_ptr<Camera> camera;
};

TEST_F(CameraTest, StartsLookingDownZAndKeepsAimingAtTheOriginWithoutTracks)
{
    const glm::mat4 expected =
        glm::lookAt(glm::vec3(0.0f, 0.0f, -5.0f), glm::vec3(0.0f, 0.0f, -4.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(camera->getViewMatrix(), expected);
    EXPECT_EQ(camera->getRight(), glm::vec3(-1.0f, 0.0f, 0.0f));
    EXPECT_EQ(camera->getUp(), glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_TRUE(camera->isAnimated());
    EXPECT_EQ(camera->getOrientation(), glm::mat3(1.0f));

    camera->updateAnimation(0.5f);
    EXPECT_EQ(camera->getPosition(), glm::vec3(0.0f, 0.0f, -5.0f));
    EXPECT_EQ(camera->getTarget(), glm::vec3(0.0f));
    EXPECT_EQ(camera->getViewMatrix(), expected);
}

TEST_F(CameraTest, KeyboardMovesInTheScreenPlaneOnlyInFreeFlight)
{
    camera->move(Down, 1.0f);
    camera->move(Right, 1.0f);
    EXPECT_EQ(camera->getPosition(), glm::vec3(0.0f, 0.0f, -5.0f));

    freeFlight();
    camera->move(Down, 1.0f); // W lowers the eye by 2.5 units per second
    expectNear(camera->getPosition(), glm::vec3(0.0f, -2.5f, -5.0f));
    camera->move(Right, 0.4f); // A: +right, which is -x at the start
    expectNear(camera->getPosition(), glm::vec3(-1.0f, -2.5f, -5.0f));
    camera->move(Left, 0.4f);
    camera->move(Up, 1.0f);
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -5.0f));

    // W and S held in the same frame cancel.
    const glm::vec3 before = camera->getPosition();
    for (int frame = 0; frame < 100; ++frame) {
        camera->move(Down, 0.0167f);
        camera->move(Up, 0.0167f);
    }
    expectNear(camera->getPosition(), before, 1e-5f);

    camera->move(static_cast<CameraMovement>(7), 1.0f);
    EXPECT_EQ(camera->getPosition(), before);
}

TEST_F(CameraTest, OrientationColumnsForKnownYawAndPitch)
{
    freeFlight();
    camera->rotate(100.0f, 50.0f);
    ASSERT_EQ(camera->getYaw(), 30.0f);
    ASSERT_EQ(camera->getPitch(), 15.0f);

    const double y = 30.0 * M_PI / 180.0;
    const double p = 15.0 * M_PI / 180.0;
    const glm::mat3& m = camera->getOrientation();
    expectNear(m[0], glm::vec3(std::cos(y), 0.0, std::sin(y)));
    expectNear(m[1], glm::vec3(std::sin(p) * std::sin(y), std::cos(p), -std::sin(p) * std::cos(y)));
    expectNear(m[2], glm::vec3(-std::cos(p) * std::sin(y), std::sin(p), std::cos(p) * std::cos(y)));

    // Mouse right turns the view to the screen's right (-x), mouse up turns it up.
    expectNear(camera->getFront(), m[2]);
    EXPECT_LT(camera->getFront().x, 0.0f);
    EXPECT_GT(camera->getFront().y, 0.0f);
    EXPECT_NEAR(glm::dot(camera->getRight(), camera->getFront()), 0.0f, 1e-6f);
    EXPECT_NEAR(glm::dot(camera->getUp(), camera->getFront()), 0.0f, 1e-6f);
    EXPECT_NEAR(glm::length(camera->getUp()), 1.0f, 1e-6f);
    EXPECT_NEAR(camera->getRight().y, 0.0f, 1e-6f); // no roll
}

TEST_F(CameraTest, PitchStopsAtExactly89AndResumesFromThere)
{
    freeFlight();
    camera->rotate(0.0f, 1000.0f);
    EXPECT_EQ(camera->getPitch(), 89.0f);
    EXPECT_NEAR(camera->getFront().y, std::sin(89.0 * M_PI / 180.0), 1e-6);
    camera->rotate(0.0f, -10.0f);
    EXPECT_EQ(camera->getPitch(), 86.0f);
    camera->rotate(0.0f, -5000.0f);
    EXPECT_EQ(camera->getPitch(), -89.0f);

    camera->rotate(1300.0f, 0.0f); // yaw is never wrapped
    EXPECT_EQ(camera->getYaw(), 390.0f);
}

TEST_F(CameraTest, AnglesAreSummedInDoublePrecision)
{
    freeFlight();
    camera->rotate(0.37f, 0.0f);
    camera->rotate(3.51f, 0.0f);
    const float first = static_cast<float>(0.37f * 0.3);
    const float expected = static_cast<float>(3.51f * 0.3 + first);
    // Guard: these offsets are chosen so that float sums round differently.
    ASSERT_NE(expected, 3.51f * 0.3f + 0.37f * 0.3f);
    EXPECT_EQ(camera->getYaw(), expected);
}

TEST_F(CameraTest, MouseIsIgnoredDuringPlaybackButTheWheelIsNot)
{
    camera->rotate(300.0f, 300.0f);
    EXPECT_EQ(camera->getYaw(), 0.0f);
    EXPECT_EQ(camera->getPitch(), 0.0f);
    EXPECT_EQ(camera->getFront(), glm::vec3(0.0f, 0.0f, 1.0f));

    camera->dolly(2.0f);
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -3.0f));
    freeFlight();
    camera->dolly(-0.5f);
    expectNear(camera->getPosition(), glm::vec3(0.0f, 0.0f, -3.5f));
}

TEST_F(CameraTest, ReferenceFrontAlongWorldUpKeepsUsableVectors)
{
    CoutCapture quiet;
    const Camera upright(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f),
                         dir.file("absent.txt"));
    const glm::mat4 view = upright.getViewMatrix();
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_TRUE(std::isfinite(view[c][r])) << "element [" << c << "][" << r << "]";
}

} // namespace
