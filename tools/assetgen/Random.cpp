#include "Random.h"

#include <cmath>

std::uint64_t Random::next()
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float Random::uniform()
{
    // 24 random bits: every value is exact in a float.
    return static_cast<float>(next() >> 40) * (1.0f / 16777216.0f);
}

float Random::range(float low, float high) { return low + (high - low) * uniform(); }

glm::vec3 Random::unitVector()
{
    const float z = range(-1.0f, 1.0f);
    const float phi = range(0.0f, 6.2831853f);
    const float r = std::sqrt(std::max(0.0f, 1.0f - z * z));
    return {r * std::cos(phi), r * std::sin(phi), z};
}
