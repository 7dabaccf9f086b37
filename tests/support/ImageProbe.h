#pragma once

#include <glm/glm.hpp>

#include <string>
#include <vector>

// An 8-bit RGB image held top row first, with the pixel probes the tests use.
// Rectangles are [x0, x1) x [y0, y1) with y = 0 at the top.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // width * height * 3

    glm::vec3 at(int x, int y) const; // channels in [0, 255]
    glm::vec3 mean(int x0, int y0, int x1, int y1) const;
    // Share of pixels whose brightest channel exceeds `level`.
    double fractionBrighterThan(int x0, int y0, int x1, int y1, float level) const;
    static Image load(const std::string& path); // empty when unreadable
};

// The bytes of a PNG file of a width x height RGBA image.
std::string pngFile(int width, int height, const std::vector<unsigned char>& rgba);

// Saves `image` as <folder>/<test>-<name>.png when VELMORA_TEST_IMAGES names
// a folder, for a look by eye at what a test saw; otherwise does nothing.
void keepImage(const Image& image, const std::string& name);

struct ImageDifference {
    int largest = 0;         // largest per-channel difference, 0-255
    double failingShare = 0; // share of pixels differing by more than the tolerance
};

// Per-channel differences over a rectangle (the whole of `a` by default); a
// pixel fails when any channel differs by more than `tolerance`.
ImageDifference compareImages(const Image& a, const Image& b, int tolerance, int x0 = 0, int y0 = 0, int x1 = -1,
                              int y1 = -1);
