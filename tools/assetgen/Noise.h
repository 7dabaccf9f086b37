#pragma once

#include <glm/glm.hpp>

#include <cstdint>

// Hash-based value noise. All results lie in [0, 1]. The 2D variants tile:
// with period p (in lattice cells) the noise repeats every p units, so a
// texture made from it wraps without a seam.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : seed(seed) {}

    float lattice(int x, int y, int z) const;
    float value(const glm::vec3& p) const;
    float fbm(glm::vec3 p, int octaves) const;
    float tiled(const glm::vec2& p, int period) const;
    // Octave k has period `period` * 2^k, so the sum still tiles.
    float tiledFbm(glm::vec2 p, int period, int octaves) const;

private:
    std::uint32_t seed;
};
