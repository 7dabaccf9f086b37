#include "TgaWriter.h"

#include <fstream>

std::vector<std::uint8_t> TgaWriter::encode(const RgbImage& image, const std::vector<float>& dither)
{
    const int w = image.getWidth(), h = image.getHeight();
    std::vector<std::uint8_t> file(18, 0);
    file[2] = 2; // uncompressed true colour
    file[12] = static_cast<std::uint8_t>(w & 0xFF);
    file[13] = static_cast<std::uint8_t>(w >> 8);
    file[14] = static_cast<std::uint8_t>(h & 0xFF);
    file[15] = static_cast<std::uint8_t>(h >> 8);
    file[16] = 24;
    file[17] = 0x20; // top-left origin, no alpha bits
    const std::vector<std::uint8_t> rgb = image.toBytes(dither);
    file.reserve(file.size() + rgb.size());
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        file.push_back(rgb[i + 2]); // TGA stores blue, green, red
        file.push_back(rgb[i + 1]);
        file.push_back(rgb[i]);
    }
    return file;
}

bool TgaWriter::write(const std::string& path, const RgbImage& image, const std::vector<float>& dither)
{
    const std::vector<std::uint8_t> file = encode(image, dither);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}
