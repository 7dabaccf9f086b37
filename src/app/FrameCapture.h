#pragma once

#include <string>
#include <vector>

// The window's back buffer as an RGB image: read before the swap, written
// as PNG afterwards. The pixel buffer is made by the constructor, so a read
// inside the frame loop allocates nothing.
class FrameCapture {
public:
    FrameCapture(int width, int height);

    // Reads framebuffer 0's back buffer (the finished frame, before present).
    // Leaves framebuffer 0 bound for reading; pack alignment is restored.
    void readBackBuffer();
    // Top row first, as image files have it. False when the file cannot be
    // written.
    bool writePng(const std::string& path) const;

private:
    int width;
    int height;
    std::vector<unsigned char> pixels; // RGB, bottom row first
};
