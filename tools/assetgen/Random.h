#pragma once

#include <glm/glm.hpp>

#include <cstdint>

// A small deterministic random source (SplitMix64). The standard library's
// distributions are implementation-defined, so the generator draws all its
// random numbers from this to remake the same bytes everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state(seed) {}

    std::uint64_t next();
    float uniform();                    // [0, 1)
    float range(float low, float high); // [low, high)
    glm::vec3 unitVector();             // uniform on the unit sphere

private:
    std::uint64_t state;
};
