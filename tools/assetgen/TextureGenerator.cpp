#include "TextureGenerator.h"

#include "Noise.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Fills an image from `shade`, called with the pixel centre in [0, 1)^2
// (x to the right, y downwards from the top row).
RgbImage paint(int size, const std::function<glm::vec3(glm::vec2)>& shade)
{
    RgbImage image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.set(x, y, glm::clamp(shade({(x + 0.5f) / size, (y + 0.5f) / size}), 0.0f, 1.0f));
    return image;
}

} // namespace

std::vector<TextureGenerator::Named> TextureGenerator::all()
{
    std::vector<Named> textures;
    textures.push_back({"paving_a.png", paving(0)});
    textures.push_back({"paving_b.png", paving(1)});
    textures.push_back({"grass.png", grass()});
    textures.push_back({"crate.png", crate()});
    textures.push_back({"marble.png", marble()});
    textures.push_back({"sandstone.png", sandstone()});
    textures.push_back({"bronze.png", bronze()});
    textures.push_back({"granite.png", granite()});
    textures.push_back({"glass_clear.png", glass({0.82f, 0.93f, 1.0f})});
    textures.push_back({"glass_amber.png", glass({1.0f, 0.86f, 0.62f})});
    textures.push_back({"water.png", water()});
    return textures;
}

RgbImage TextureGenerator::paving(unsigned variant)
{
    const Noise noise(101 + variant);
    return paint(256, [&](glm::vec2 p) {
        // Which of the four flagstones, and a tone of its own for each.
        const glm::ivec2 stone(static_cast<int>(p.x * 2.0f), static_cast<int>(p.y * 2.0f));
        const float tone = noise.lattice(stone.x, stone.y, 7);
        const glm::vec3 base = glm::mix(glm::vec3(0.50f, 0.48f, 0.45f), glm::vec3(0.62f, 0.57f, 0.50f), tone);
        const float mottling = noise.tiledFbm(p * 4.0f, 4, 4);
        glm::vec3 color = base * (0.85f + 0.3f * mottling);
        // Grout: 6 px wide between stones, half of it at each tile edge so
        // that neighbouring tiles meet in one line; the stone darkens softly
        // towards it.
        const glm::vec2 f = glm::fract(p * 2.0f);
        const float d = std::min(std::min(f.x, 1.0f - f.x), std::min(f.y, 1.0f - f.y)) * 128.0f;
        const float grout = 1.0f - glm::smoothstep(2.0f, 3.5f, d);
        const float bevel = 0.8f + 0.2f * glm::smoothstep(3.0f, 12.0f, d);
        color = glm::mix(color * bevel, glm::vec3(0.24f, 0.23f, 0.21f), grout);
        return color;
    });
}

RgbImage TextureGenerator::grass()
{
    const Noise noise(211);
    return paint(256, [&](glm::vec2 p) {
        const float broad = noise.tiledFbm(p * 3.0f, 3, 3);
        const float fine = noise.tiledFbm(p * 16.0f, 16, 2);
        const glm::vec3 dry(0.36f, 0.38f, 0.17f), lush(0.16f, 0.34f, 0.12f);
        return glm::mix(lush, dry, glm::smoothstep(0.35f, 0.75f, broad)) * (0.85f + 0.3f * fine);
    });
}

RgbImage TextureGenerator::crate()
{
    const Noise noise(307);
    return paint(256, [&](glm::vec2 p) {
        const float frame = 30.0f / 256.0f;
        const bool inFrame = p.x < frame || p.x > 1.0f - frame || p.y < frame || p.y > 1.0f - frame;
        // Planks run across the board; the brace runs corner to corner.
        const bool onBrace = std::abs(p.x - p.y) < 0.075f && !inFrame;
        const glm::vec2 grainAxis = onBrace ? glm::vec2((p.x + p.y) * 0.7f, (p.x - p.y) * 6.0f)
                                    : inFrame ? (p.x < frame || p.x > 1.0f - frame ? glm::vec2(p.y, p.x * 8.0f)
                                                                                   : glm::vec2(p.x, p.y * 8.0f))
                                              : glm::vec2(p.x, p.y * 4.0f);
        const float grain = noise.value({grainAxis.x * 3.0f, grainAxis.y * 12.0f, 1.0f});
        const float rings = 0.5f + 0.5f * std::sin(grain * 18.0f);
        glm::vec3 wood = glm::mix(glm::vec3(0.50f, 0.34f, 0.18f), glm::vec3(0.64f, 0.46f, 0.26f), rings);
        if (inFrame || onBrace)
            wood *= 0.78f;
        // Dark joints between the four planks and along the frame's edge.
        const float plankLine = std::abs(glm::fract(p.y * 4.0f + 0.5f) - 0.5f) * 64.0f;
        float joint = inFrame || onBrace ? 1.0f : glm::smoothstep(0.5f, 1.5f, plankLine);
        const float inner = std::min(std::min(std::abs(p.x - frame), std::abs(p.x - 1.0f + frame)),
                                     std::min(std::abs(p.y - frame), std::abs(p.y - 1.0f + frame))) * 256.0f;
        joint *= glm::smoothstep(0.5f, 2.0f, inner);
        if (onBrace)
            joint *= glm::smoothstep(0.5f, 2.0f, (0.075f - std::abs(p.x - p.y)) * 256.0f);
        return wood * (0.45f + 0.55f * joint);
    });
}

RgbImage TextureGenerator::marble()
{
    const Noise noise(401);
    return paint(256, [&](glm::vec2 p) {
        // Veins follow a strongly warped diagonal; the warp and the period
        // both tile in x, so a column wrapped once around shows no seam.
        const float warp = noise.tiledFbm(p * 3.0f, 3, 5);
        const float wave = std::abs(std::sin(3.14159265f * (p.x * 4.0f + p.y * 2.0f + warp * 3.0f)));
        const float strength = glm::smoothstep(0.25f, 0.6f, noise.tiledFbm(p * 2.0f + 7.0f, 2, 3));
        const float vein = (1.0f - glm::smoothstep(0.0f, 0.18f, wave)) * strength;
        const float cloud = noise.tiledFbm(p * 6.0f, 6, 3);
        const glm::vec3 white(0.88f, 0.87f, 0.83f), grey(0.5f, 0.5f, 0.54f);
        return glm::mix(white * (0.9f + 0.12f * cloud), grey, vein * 0.75f);
    });
}

RgbImage TextureGenerator::sandstone()
{
    const Noise noise(503);
    return paint(512, [&](glm::vec2 p) {
        // 8 courses of blocks, every other course shifted by half a block.
        const float rows = 8.0f, columns = 4.0f;
        const int row = static_cast<int>(p.y * rows);
        const glm::vec2 q(p.x * columns + (row % 2 ? 0.5f : 0.0f), p.y * rows);
        const glm::ivec2 block(static_cast<int>(std::floor(q.x)), row);
        const float tone = noise.lattice(block.x, block.y, 3);
        const glm::vec3 base = glm::mix(glm::vec3(0.66f, 0.54f, 0.40f), glm::vec3(0.78f, 0.66f, 0.50f), tone);
        const float grain = noise.tiledFbm(p * 8.0f, 8, 3);
        const glm::vec2 f = glm::fract(q);
        // Distance to the block's nearest edge, in pixels.
        const float d = std::min(std::min(f.x, 1.0f - f.x) * 512.0f / columns,
                                 std::min(f.y, 1.0f - f.y) * 512.0f / rows);
        const float mortar = 1.0f - glm::smoothstep(1.5f, 3.0f, d);
        return glm::mix(base * (0.88f + 0.24f * grain), glm::vec3(0.42f, 0.37f, 0.31f), mortar);
    });
}

RgbImage TextureGenerator::bronze()
{
    const Noise noise(601);
    return paint(256, [&](glm::vec2 p) {
        // Dark polished metal with lighter worn spots, and green patina in
        // patches.
        const float wear = noise.tiledFbm(p * 4.0f, 4, 3);
        const float patina = glm::smoothstep(0.58f, 0.78f, noise.tiledFbm(p * 3.0f + 11.0f, 3, 4));
        const glm::vec3 metal = glm::mix(glm::vec3(0.42f, 0.27f, 0.12f), glm::vec3(0.78f, 0.56f, 0.3f), wear);
        return glm::mix(metal, glm::vec3(0.3f, 0.55f, 0.46f), patina * 0.85f);
    });
}

RgbImage TextureGenerator::granite()
{
    const Noise noise(701);
    return paint(256, [&](glm::vec2 p) {
        // Soft grey mottling; fine speckle would shimmer without mipmaps.
        const float cloud = noise.tiledFbm(p * 4.0f, 4, 4);
        const float grain = noise.tiledFbm(p * 16.0f, 16, 2);
        const glm::vec3 base = glm::mix(glm::vec3(0.4f, 0.4f, 0.42f), glm::vec3(0.6f, 0.58f, 0.57f), cloud);
        return base * (0.92f + 0.16f * grain);
    });
}

RgbImage TextureGenerator::glass(const glm::vec3& tint)
{
    return paint(64, [&](glm::vec2 p) { return tint * (0.92f + 0.08f * (1.0f - p.y)); });
}

RgbImage TextureGenerator::water()
{
    const Noise noise(809);
    return paint(64, [&](glm::vec2 p) {
        const float ripple = noise.tiledFbm(p * 4.0f, 4, 3);
        return glm::mix(glm::vec3(0.06f, 0.14f, 0.22f), glm::vec3(0.14f, 0.27f, 0.36f), ripple);
    });
}
