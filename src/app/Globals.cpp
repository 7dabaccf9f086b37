#include "app/Globals.h"

#include "camera/Camera.h"
#include "effects/ShadowMap.h"

int screenWidth = 1920;
int screenHeight = 1080;
float scaleFactor = 0.2f;
bool postProcessingEnabled = true;
bool firstMouse = true;
float lastX = static_cast<float>(screenWidth) * 0.5f;
float lastY = static_cast<float>(screenHeight) * 0.5f;
float deltaTime = 0.0f;
float lastFrame = 0.0f;
bool screenshotRequested = false;

// Defined in this order so that process exit destroys shadowMap, then camera.
std::unique_ptr<Camera> camera;
std::unique_ptr<ShadowMap> shadowMap;

void resetGlobals()
{
    screenWidth = 1920;
    screenHeight = 1080;
    scaleFactor = 0.2f;
    postProcessingEnabled = true;
    firstMouse = true;
    lastX = static_cast<float>(screenWidth) * 0.5f;
    lastY = static_cast<float>(screenHeight) * 0.5f;
    deltaTime = 0.0f;
    lastFrame = 0.0f;
    screenshotRequested = false;
    shadowMap.reset();
    camera.reset();
}
