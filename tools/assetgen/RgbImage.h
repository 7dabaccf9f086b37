#pragma once

#include <glm/glm.hpp>

#include <cstdint>
#include <string>
#include <vector>

// An RGB image of float channels in [0, 1] (display values, no gamma step),
// stored row by row with the top row first. Starts black.
class RgbImage {
public:
    RgbImage(int width, int height);

    int getWidth() const { return width; }
    int getHeight() const { return height; }
    glm::vec3 get(int x, int y) const;
    void set(int x, int y, const glm::vec3& color);
    void add(int x, int y, const glm::vec3& color);

    // 8-bit RGB triples, top row first, each channel rounded after adding
    // `dither` (one value per pixel in [-0.5, 0.5) steps of 1/255, or none).
    std::vector<std::uint8_t> toBytes(const std::vector<float>& dither = {}) const;
    // Writes a PNG through stb_image_write; false when the file cannot be written.
    bool writePng(const std::string& path) const;

private:
    int width;
    int height;
    std::vector<glm::vec3> pixels;
};
