#pragma once

#include "ImageProbe.h"
#include "TempDir.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// A private 1920x1080x24 Xvfb display with one program on it, driven like a
// user would: xdotool for keys and mouse, ImageMagick's import for
// screenshots. Everything started is killed on destruction.
class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool ok() const { return xvfb > 0 && !display.empty(); }
    // Starts velmora in `workingDir`, keeping its stdout and stderr for output() and errors().
    bool launch(const std::string& workingDir);
    // The same for another program with arguments.
    bool launch(const std::string& workingDir, const std::string& program, const std::vector<std::string>& arguments);
    // Polls for a window titled exactly "Velmora"; false if the program ends.
    bool waitForWindow(double seconds);

    void key(const std::string& name); // press and release
    void moveMouse(int dx, int dy);    // relative motion, window focused first
    // Screenshots until `done` accepts one or `seconds` pass; returns the last (one at least).
    Image screenshotUntil(const std::function<bool(const Image&)>& done, double seconds);
    Image screenshot() { return screenshotUntil([](const Image&) { return true; }, 0); }
    // Exit status (128 + signal for a signal death), or -1000 if not ended in
    // time; presses `key` about every second meanwhile (early presses are lost).
    int waitExit(double seconds, const std::string& key = "");
    // Polls stdout for `text` up to `seconds`; whether it came.
    bool waitForOutput(const std::string& text, double seconds);
    std::string output() const;
    std::string errors() const;
    static void pause(double seconds);

private:
    bool running();
    int x(const std::string& command) const; // a shell command on this display

    pid_t xvfb = -1;
    pid_t program = -1;
    int exitCode = -1000;
    std::string display;
    TempDir logs; // the program's stdout and stderr, screenshots
};
