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
            if (std::max(c.r, std::max(c.g, c.b)) > level)
                ++bright;
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

Image Image::fromGlRgba(const std::vector<unsigned char>& rgba, int width, int height)
{
    Image image;
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                image.rgb[(static_cast<size_t>(y) * width + x) * 3 + c] =
                    rgba[(static_cast<size_t>(height - 1 - y) * width + x) * 4 + c];
    return image;
}

bool Image::savePng(const std::string& path) const
{
    return stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

void keepImage(const Image& image, const std::string& name)
{
    const char* folder = std::getenv("VELMORA_TEST_IMAGES");
    if (!folder || !*folder)
        return;
    std::string test;
    if (const auto* info = testing::UnitTest::GetInstance()->current_test_info()) {
        // Parameterised tests are named "Name/Param": keep them in the folder.
        test = std::string(info->name()) + "-";
        std::replace(test.begin(), test.end(), '/', '_');
    }
    image.savePng(std::string(folder) + "/" + test + name + ".png");
}

ImageDifference compareImages(const Image& a, const Image& b, int tolerance, int x0, int y0, int x1, int y1)
{
    ImageDifference result;
    if (x1 < 0)
        x1 = std::min(a.width, b.width);
    if (y1 < 0)
        y1 = std::min(a.height, b.height);
    long failing = 0, count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++count) {
            const glm::vec3 d = glm::abs(a.at(x, y) - b.at(x, y));
            const int largest = static_cast<int>(std::max(d.r, std::max(d.g, d.b)));
            result.largest = std::max(result.largest, largest);
            if (largest > tolerance)
                ++failing;
        }
    result.failingShare = count ? static_cast<double>(failing) / count : 0.0;
    return result;
}
