#include "RgbImage.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>

RgbImage::RgbImage(int width, int height)
    : width(width), height(height), pixels(static_cast<std::size_t>(width) * height, glm::vec3(0.0f))
{
}

glm::vec3 RgbImage::get(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }

void RgbImage::set(int x, int y, const glm::vec3& color) { pixels[static_cast<std::size_t>(y) * width + x] = color; }

void RgbImage::add(int x, int y, const glm::vec3& color) { pixels[static_cast<std::size_t>(y) * width + x] += color; }

std::vector<std::uint8_t> RgbImage::toBytes(const std::vector<float>& dither) const
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(pixels.size() * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const float offset = dither.empty() ? 0.0f : dither[i];
        for (int c = 0; c < 3; ++c) {
            const float level = std::floor(pixels[i][c] * 255.0f + 0.5f + offset);
            bytes.push_back(static_cast<std::uint8_t>(std::clamp(level, 0.0f, 255.0f)));
        }
    }
    return bytes;
}

bool RgbImage::writePng(const std::string& path) const
{
    const std::vector<std::uint8_t> bytes = toBytes();
    return stbi_write_png(path.c_str(), width, height, 3, bytes.data(), width * 3) != 0;
}
