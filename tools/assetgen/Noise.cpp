#include "Noise.h"

#include <cmath>

namespace {

float fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }

int wrap(int i, int period) { return ((i % period) + period) % period; }

} // namespace

float Noise::lattice(int x, int y, int z) const
{
    std::uint32_t h = seed;
    h ^= static_cast<std::uint32_t>(x) * 0x8DA6B343u;
    h ^= static_cast<std::uint32_t>(y) * 0xD8163841u;
    h ^= static_cast<std::uint32_t>(z) * 0xCB1AB31Fu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return static_cast<float>(h >> 8) * (1.0f / 16777215.0f);
}

float Noise::value(const glm::vec3& p) const
{
    const glm::vec3 cell = glm::floor(p);
    const int x = static_cast<int>(cell.x), y = static_cast<int>(cell.y), z = static_cast<int>(cell.z);
    const glm::vec3 f = p - cell;
    const float u = fade(f.x), v = fade(f.y), w = fade(f.z);
    auto row = [&](int dy, int dz) {
        return glm::mix(lattice(x, y + dy, z + dz), lattice(x + 1, y + dy, z + dz), u);
    };
    return glm::mix(glm::mix(row(0, 0), row(1, 0), v), glm::mix(row(0, 1), row(1, 1), v), w);
}

float Noise::fbm(glm::vec3 p, int octaves) const
{
    float sum = 0.0f, weight = 1.0f, total = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += weight * value(p);
        total += weight;
        weight *= 0.5f;
        p = p * 2.03f + glm::vec3(17.3f, 5.1f, 9.7f);
    }
    return sum / total;
}

float Noise::tiled(const glm::vec2& p, int period) const
{
    const glm::vec2 cell = glm::floor(p);
    const int x = static_cast<int>(cell.x), y = static_cast<int>(cell.y);
    const glm::vec2 f = p - cell;
    const float u = fade(f.x), v = fade(f.y);
    auto at = [&](int dx, int dy) { return lattice(wrap(x + dx, period), wrap(y + dy, period), period); };
    return glm::mix(glm::mix(at(0, 0), at(1, 0), u), glm::mix(at(0, 1), at(1, 1), u), v);
}

float Noise::tiledFbm(glm::vec2 p, int period, int octaves) const
{
    float sum = 0.0f, weight = 1.0f, total = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += weight * tiled(p, period);
        total += weight;
        weight *= 0.5f;
        p *= 2.0f;
        period *= 2;
    }
    return sum / total;
}
