#pragma once

#include <memory>

class Camera;
class ShadowMap;

// Application-wide state shared by the frame loop and the input callbacks.
extern int screenWidth;              // 1920: window, targets and projection width
extern int screenHeight;             // 1080
extern float scaleFactor;            // 0.2: particle size and composite "Scale"
extern bool postProcessingEnabled;   // true; F4 flips it between frames
extern bool firstMouse;              // true until the first cursor event
extern float lastX;                  // screenWidth * 0.5, pixels
extern float lastY;                  // screenHeight * 0.5, pixels
extern float deltaTime;              // seconds, duration of the previous frame
extern float lastFrame;              // seconds, glfwGetTime of the previous frame
extern bool screenshotRequested;     // false; F12 sets it, the next present writes the PNG

// The single camera and shadow map; the callbacks reach them through these.
// Destroyed at process exit, shadowMap first.
extern std::unique_ptr<Camera> camera;
extern std::unique_ptr<ShadowMap> shadowMap;

// Puts every value above back to its initial value (owners emptied), so a
// process can run the viewer more than once (tests, benchmark).
void resetGlobals();
