#include "ImageProbe.h"

#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdlib>

glm::vec3 Image::at(int x, int y) const
{
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return glm::vec3(rgb[i], rgb[i + 1], rgb[i + 2]);
}

glm::vec3 Image::mean(int x0, int y0, int x1, int y1) const
{
    glm::dvec3 sum(0.0);
    long count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++count)
            sum += glm::dvec3(at(x, y));
    return count ? glm::vec3(sum / static_cast<double>(count)) : glm::vec3(0.0f);
}

double Image::fractionBrighterThan(int x0, int y0, int x1, int y1, float level) const
{
    long bright = 0, count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++count) {
            const glm::vec3 c = at(x, y);
            bright += std::max({c.r, c.g, c.b}) > level;
        }
    return count ? static_cast<double>(bright) / count : 0.0;
}

Image Image::load(const std::string& path)
{
    Image image;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 3);
    if (!data)
        return Image();
    image.rgb.assign(data, data + static_cast<size_t>(image.width) * image.height * 3);
    stbi_image_free(data);
    return image;
}

std::string pngFile(int width, int height, const std::vector<unsigned char>& rgba)
{
    std::string bytes;
    stbi_write_png_to_func([](void* out, void* data, int n) { static_cast<std::string*>(out)->append(static_cast<char*>(data), n); },
                           &bytes, width, height, 4, rgba.data(), width * 4);
    return bytes;
}

void keepImage(const Image& image, const std::string& name)
{
    const char* folder = std::getenv("VELMORA_TEST_IMAGES");
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    if (!folder || !*folder || !info)
        return;
    std::string test = info->name(); // "Name/Param" for parameterised tests
    std::replace(test.begin(), test.end(), '/', '_');
    const std::string path = std::string(folder) + "/" + test + "-" + name + ".png";
    stbi_write_png(path.c_str(), image.width, image.height, 3, image.rgb.data(), image.width * 3);
}

ImageDifference compareImages(const Image& a, const Image& b, int tolerance, int x0, int y0, int x1, int y1)
{
    ImageDifference result;
    x1 = x1 < 0 ? std::min(a.width, b.width) : x1;
    y1 = y1 < 0 ? std::min(a.height, b.height) : y1;
    long failing = 0, count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++count) {
            const glm::vec3 d = glm::abs(a.at(x, y) - b.at(x, y));
            const int largest = static_cast<int>(std::max({d.r, d.g, d.b}));
            result.largest = std::max(result.largest, largest);
            failing += largest > tolerance;
        }
    result.failingShare = count ? static_cast<double>(failing) / count : 0.0;
    return result;
}
