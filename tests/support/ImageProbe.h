#pragma once

#include <glm/glm.hpp>

#include <string>
#include <vector>

// An 8-bit RGB image held top row first, with the pixel probes the tests use.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // width * height * 3

    bool empty() const { return rgb.empty(); }
    // Channels in [0, 255]; (x, y) with y = 0 at the top.
    glm::vec3 at(int x, int y) const;
    // Mean colour of the rectangle [x0, x1) x [y0, y1).
    glm::vec3 mean(int x0, int y0, int x1, int y1) const;
    // Share of pixels in the rectangle whose brightest channel exceeds `level`.
    double fractionBrighterThan(int x0, int y0, int x1, int y1, float level) const;

    static Image load(const std::string& path);
    // From glReadPixels RGBA rows (bottom row first).
    static Image fromGlRgba(const std::vector<unsigned char>& rgba, int width, int height);
    bool savePng(const std::string& path) const;
};

// Saves `image` as <folder>/<test>-<name>.png when the environment variable
// VELMORA_TEST_IMAGES names a folder (<test> is the running test's name), for
// a look by eye at what a test saw; does nothing otherwise, so passes do not
// pay for PNG encoding.
void keepImage(const Image& image, const std::string& name);

// Result of comparing two images of equal size over a rectangle.
struct ImageDifference {
    int largest = 0;          // largest per-channel difference, 0-255
    double failingShare = 0;  // share of pixels whose difference exceeds the tolerance
};

// Per-channel differences; a pixel fails when any channel differs by more
// than `tolerance`.
ImageDifference compareImages(const Image& a, const Image& b, int tolerance, int x0 = 0, int y0 = 0, int x1 = -1,
                              int y1 = -1);
