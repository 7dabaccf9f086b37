#include "app/InputCallbacks.h"

#include "app/Globals.h"
#include "camera/Camera.h"
#include "effects/ShadowMap.h"

#include <GLFW/glfw3.h>

void keyCallback(GLFWwindow* /*window*/, int key, int /*scancode*/, int action, int /*mods*/)
{
    if (action != GLFW_PRESS)
        return;
    switch (key) {
    case GLFW_KEY_SPACE:
        if (camera)
            camera->toggleAnimation();
        break;
    case GLFW_KEY_BACKSPACE:
        if (camera)
            camera->resetAnimation();
        break;
    case GLFW_KEY_F3:
        if (shadowMap)
            shadowMap->toggleDebugView();
        break;
    case GLFW_KEY_F4:
        postProcessingEnabled = !postProcessingEnabled;
        break;
    case GLFW_KEY_F12:
        screenshotRequested = true;
        break;
    default:
        break;
    }
}

void cursorPosCallback(GLFWwindow* /*window*/, double x, double y)
{
    // Differences in double, then rounded; y is reversed (screen y grows down).
    // The first event only records the position: measured against its own
    // float-rounded copy a fractional position would turn the camera a little.
    float xOffset = static_cast<float>(x - static_cast<double>(lastX));
    float yOffset = static_cast<float>(static_cast<double>(lastY) - y);
    if (firstMouse) {
        firstMouse = false;
        xOffset = 0.0f;
        yOffset = 0.0f;
    }
    lastX = static_cast<float>(x);
    lastY = static_cast<float>(y);
    if (camera)
        camera->rotate(xOffset, yOffset);
}

void scrollCallback(GLFWwindow* /*window*/, double /*xOffset*/, double yOffset)
{
    if (camera)
        camera->dolly(static_cast<float>(yOffset));
}

void pollKeys(GLFWwindow* window)
{
    if (glfwGetKey(window, GLFW_KEY_ESCAPE) == GLFW_PRESS)
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    if (!camera)
        return;
    if (glfwGetKey(window, GLFW_KEY_W) == GLFW_PRESS)
        camera->move(Down, deltaTime);
    if (glfwGetKey(window, GLFW_KEY_S) == GLFW_PRESS)
        camera->move(Up, deltaTime);
    if (glfwGetKey(window, GLFW_KEY_A) == GLFW_PRESS)
        camera->move(Right, deltaTime);
    if (glfwGetKey(window, GLFW_KEY_D) == GLFW_PRESS)
        camera->move(Left, deltaTime);
}
