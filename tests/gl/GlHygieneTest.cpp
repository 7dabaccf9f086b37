// The shipped scene over 600 frames in process, with every binding used along
// the way through the real callbacks: not one OpenGL error, neither reported
// by the viewer's own drains ("... OpenGL Error: <code>") nor left pending at
// the end of a frame.
#include "GlContext.h"

#include "app/Globals.h"
#include "app/InputCallbacks.h"
#include "app/Viewer.h"
#include "camera/Camera.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void press(GLFWwindow* window, int key) { keyCallback(window, key, 0, GLFW_PRESS, 0); }

// What the user does before frame `frame`: the toggles come in pairs, so
// each state (debug view on and off, post-processing on and off, playback and
// free flight) is rendered for many frames, and in combination.
void actBefore(int frame, GLFWwindow* window)
{
    switch (frame) {
    case 40: press(window, GLFW_KEY_F3); break;          // depth map view on
    case 100: press(window, GLFW_KEY_F4); break;         // post-processing off, view still on
    case 160: press(window, GLFW_KEY_F3); break;         // view off
    case 220: press(window, GLFW_KEY_F4); break;         // post-processing on
    case 250: press(window, GLFW_KEY_SPACE); break;      // free flight
    case 330: press(window, GLFW_KEY_BACKSPACE); break;  // restart the path in free flight
    case 400: press(window, GLFW_KEY_SPACE); break;      // back to the path
    case 450: press(window, GLFW_KEY_F4); press(window, GLFW_KEY_F3); break;
    case 500: press(window, GLFW_KEY_F4); press(window, GLFW_KEY_F3); break;
    case 540: press(window, GLFW_KEY_BACKSPACE); break;  // restart during playback
    default: break;
    }
    // Mouse look, the wheel and the four movement keys while in free flight
    // (and a little before, where playback must ignore the mouse). W, S, A, D
    // are polled keys: the frame loop calls Camera::move for each held one.
    if (frame >= 230 && frame < 400) {
        cursorPosCallback(window, 960.0 + 7.0 * (frame % 40), 540.0 - 3.0 * (frame % 25));
        if (frame % 10 == 0)
            scrollCallback(window, 0.0, frame % 20 == 0 ? 1.0 : -1.0);
        const CameraMovement held[] = {Down, Up, Right, Left};
        camera->move(held[(frame / 20) % 4], deltaTime);
    }
}

} // namespace

TEST(GlHygiene, SixHundredFramesOfTheShippedSceneWithEveryBindingRaiseNoOpenGlError)
{
    ASSERT_EQ(0, chdir(VELMORA_SOURCE_DIR));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();

    Viewer viewer;
    // The full frame at a quarter of the window's size: every pass and state
    // is the same, and 600 frames fit the test's time on a CPU renderer.
    Viewer::WindowOptions window;
    window.width = 480;
    window.height = 270;
    window.fullScreen = false;
    const bool started = viewer.startUp(window);
    std::vector<std::string> pending;
    bool wasAnimated = true;
    bool sawFreeFlight = false;
    int maskedAfterFrame = 0;
    if (started) {
        for (int frame = 0; frame < 600; ++frame) {
            actBefore(frame, viewer.getWindow());
            glfwSetTime(frame / 60.0);
            viewer.renderFrame();
            // The frame masks the lit target's second attachment for a
            // while; left masked, the next frame's clears would skip it.
            GLboolean mask[4] = {GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE};
            glGetBooleani_v(GL_COLOR_WRITEMASK, 1, mask);
            maskedAfterFrame += !(mask[0] && mask[1] && mask[2] && mask[3]);
            viewer.present();
            sawFreeFlight = sawFreeFlight || (wasAnimated && !camera->isAnimated());
            wasAnimated = camera->isAnimated();
            // An error after the viewer's last drain of the frame would only
            // show in the next frame's report; catch it where it happens.
            for (GLenum error : GlContext::drainErrors())
                pending.push_back("frame " + std::to_string(frame) + ": " + std::to_string(error));
        }
        viewer.shutDown();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(started) << out << errors;

    std::istringstream lines(out);
    std::vector<std::string> reports;
    int resets = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("OpenGL Error") != std::string::npos || line.find("ERROR::") != std::string::npos)
            reports.push_back(line);
        resets += line == "Resetting animation";
    }
    EXPECT_TRUE(reports.empty()) << reports.size() << " error lines, first: " << reports.front();
    EXPECT_TRUE(pending.empty()) << pending.size() << " errors left pending, first " << pending.front();
    EXPECT_EQ(errors, "");
    EXPECT_EQ(maskedAfterFrame, 0) << "a colour write mask outlived its frame";
    // The callbacks did reach the camera: two restarts and one stretch of
    // free flight.
    EXPECT_EQ(resets, 2);
    EXPECT_TRUE(sawFreeFlight);
}
