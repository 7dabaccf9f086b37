#pragma once

struct GLFWwindow;

// GLFW callbacks of the viewer. They act on the globals `camera`,
// `shadowMap` and `postProcessingEnabled`, run inside glfwPollEvents, and so
// take effect from the next frame.

// Space: toggle playback; Backspace: restart path; F3: shadow debug view;
// F4: post-processing; F12: a PNG of the next presented frame. Presses only
// (repeats and releases are ignored).
void keyCallback(GLFWwindow* window, int key, int scancode, int action, int mods);
// Mouse look; the first event turns by nothing. The position is recorded in
// both camera modes so offsets do not pile up during playback.
void cursorPosCallback(GLFWwindow* window, double x, double y);
// Dolly along the view by the vertical wheel offset, in both modes.
void scrollCallback(GLFWwindow* window, double xOffset, double yOffset);

// The held keys, polled once per frame: Escape closes; W, S, A, D move.
void pollKeys(GLFWwindow* window);
