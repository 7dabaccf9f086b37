#pragma once

#include "RgbImage.h"

#include <string>
#include <vector>

// Writes uncompressed 24-bit true-colour TGA files (image type 2), stored
// with the top row first (descriptor bit 5 set), which stb_image and the
// sky loader read back top row first.
class TgaWriter {
public:
    static std::vector<std::uint8_t> encode(const RgbImage& image, const std::vector<float>& dither = {});
    static bool write(const std::string& path, const RgbImage& image, const std::vector<float>& dither = {});
};
