#pragma once

#include "ImageProbe.h"

#include <functional>
#include <string>
#include <sys/types.h>

// A private 1920x1080x24 Xvfb display with one viewer process on it, driven
// like a user would: xdotool for keys and mouse, ImageMagick's import for
// screenshots. Everything started is killed on destruction.
class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool ok() const { return xvfb > 0 && !display.empty(); }

    // Starts `binary` (the velmora binary by default) with `workingDir` as
    // its working directory; stdout and stderr go to files read by output()
    // and errors().
    bool launch(const std::string& workingDir, const std::string& binary = VELMORA_BINARY);
    // Waits for a window titled exactly "Velmora".
    bool waitForWindow(double seconds = 60.0);

    void key(const std::string& name);          // press and release
    void moveMouse(int dx, int dy);             // relative motion
    Image screenshot();
    // Screenshots about every half second until `done` accepts one or
    // `seconds` have passed; returns the last one taken (at least one is).
    // For steps whose effect takes an unknown number of frames to show.
    Image screenshotUntil(const std::function<bool(const Image&)>& done, double seconds);
    static void pause(double seconds);

    // Exit status of the viewer, or -1000 if it did not end in time (it is
    // then killed). A signal death gives 128 + the signal number.
    int waitExit(double seconds = 10.0);
    bool running();
    std::string output() const;
    std::string errors() const;
    // Runs a shell command with this display; returns its exit status.
    int x(const std::string& command) const;

private:
    pid_t xvfb = -1;
    pid_t viewer = -1;
    int exitCode = -1000; // set when the viewer has been reaped
    std::string display;
    std::string logDir;
};
