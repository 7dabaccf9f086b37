#include "app/Globals.h"
#include "app/InputCallbacks.h"
#include "camera/Camera.h"

#include "CoutCapture.h"
#include "TempDir.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace {

// The globals as start-up leaves them, with the camera on a two-second path
// from z = -5 to z = -1. The callbacks never read the window, so none is made.
class InputCallbacks : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetGlobals();
        dir.write("path.txt", "$path eye 10\ndegree 0 1\nduration 1 2\ntransfer 0 0\n"
                              "position0 3 0,0,-5\nposition1 3 0,0,-1\n");
        CoutCapture quiet;
        camera = std::make_unique<Camera>(glm::vec3(0.0f, 0.0f, -5.0f), glm::vec3(0.0f, 0.0f, 1.0f),
                                          glm::vec3(0.0f, 1.0f, 0.0f), dir.file("path.txt"));
    }
    void TearDown() override { resetGlobals(); }

    static void press(int key, int action = GLFW_PRESS) { keyCallback(nullptr, key, 0, action, 0); }

    TempDir dir;
};

TEST_F(InputCallbacks, FirstCursorEventTurnsByNothing)
{
    press(GLFW_KEY_SPACE);
    ASSERT_FALSE(camera->isAnimated());
    // Far from the window centre that lastX/lastY start at.
    cursorPosCallback(nullptr, 1500.25, 20.5);
    EXPECT_FALSE(firstMouse);
    EXPECT_EQ(camera->getYaw(), 0.0f);
    EXPECT_EQ(camera->getPitch(), 0.0f);
    EXPECT_EQ(camera->getFront(), glm::vec3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(lastX, 1500.25f);
    EXPECT_EQ(lastY, 20.5f);

    // The second turns by the difference; y grows downwards on screen.
    cursorPosCallback(nullptr, 1510.25, 10.5);
    EXPECT_EQ(camera->getYaw(), 3.0f);
    EXPECT_EQ(camera->getPitch(), 3.0f);
}

TEST_F(InputCallbacks, PlaybackConsumesMouseMotion)
{
    cursorPosCallback(nullptr, 960.0, 540.0);
    cursorPosCallback(nullptr, 1460.0, 240.0);
    EXPECT_EQ(camera->getYaw(), 0.0f);
    EXPECT_EQ(camera->getPitch(), 0.0f);
    EXPECT_EQ(lastX, 1460.0f);

    // After Space only the new event's own offset counts.
    press(GLFW_KEY_SPACE);
    cursorPosCallback(nullptr, 1470.0, 240.0);
    EXPECT_EQ(camera->getYaw(), 3.0f);
    EXPECT_EQ(camera->getPitch(), 0.0f);
}

TEST_F(InputCallbacks, OnlyPressesAct)
{
    press(GLFW_KEY_SPACE);
    EXPECT_FALSE(camera->isAnimated());
    press(GLFW_KEY_SPACE, GLFW_REPEAT);
    press(GLFW_KEY_SPACE, GLFW_REPEAT);
    press(GLFW_KEY_SPACE, GLFW_RELEASE);
    EXPECT_FALSE(camera->isAnimated());
    press(GLFW_KEY_SPACE);
    EXPECT_TRUE(camera->isAnimated());

    ASSERT_TRUE(postProcessingEnabled);
    press(GLFW_KEY_F4);
    EXPECT_FALSE(postProcessingEnabled);
    press(GLFW_KEY_F4, GLFW_REPEAT);
    press(GLFW_KEY_F4, GLFW_RELEASE);
    EXPECT_FALSE(postProcessingEnabled);
    press(GLFW_KEY_F4);
    EXPECT_TRUE(postProcessingEnabled);

    // Unbound keys and F3 without a shadow map change nothing.
    press(GLFW_KEY_Q);
    press(GLFW_KEY_F3);
    EXPECT_TRUE(camera->isAnimated());
    EXPECT_TRUE(postProcessingEnabled);
}

TEST_F(InputCallbacks, BackspaceRestartsThePathOnEveryPressInBothModes)
{
    camera->updateAnimation(1.5f);
    CoutCapture capture;
    press(GLFW_KEY_BACKSPACE);
    press(GLFW_KEY_BACKSPACE, GLFW_REPEAT);
    press(GLFW_KEY_BACKSPACE, GLFW_RELEASE);
    EXPECT_EQ(capture.text(), "Resetting animation\n");
    camera->updateAnimation(0.5f);
    EXPECT_NEAR(camera->getPosition().z, -4.0f, 1e-6f);

    press(GLFW_KEY_SPACE);
    camera->updateAnimation(1.0f); // paused
    press(GLFW_KEY_BACKSPACE);
    EXPECT_EQ(capture.text(), "Resetting animation\nResetting animation\n");
    press(GLFW_KEY_SPACE);
    camera->updateAnimation(0.25f); // the restart shows once playback resumes
    EXPECT_NEAR(camera->getPosition().z, -4.5f, 1e-6f);
}

TEST_F(InputCallbacks, WheelDolliesInBothModes)
{
    scrollCallback(nullptr, 7.0, 1.5); // the horizontal offset is ignored
    EXPECT_EQ(camera->getPosition(), glm::vec3(0.0f, 0.0f, -3.5f));
    press(GLFW_KEY_SPACE);
    scrollCallback(nullptr, 0.0, -0.5);
    EXPECT_EQ(camera->getPosition(), glm::vec3(0.0f, 0.0f, -4.0f));
}

} // namespace
