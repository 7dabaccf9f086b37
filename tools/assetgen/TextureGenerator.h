#pragma once

#include "RgbImage.h"

#include <string>
#include <vector>

// Procedural model textures. Each is drawn for one whole face or tile (the
// viewer clamps and never repeats a texture), keeps its detail soft because
// the viewer samples with GL_NEAREST and no mipmaps, and tiles seamlessly
// where a model lays copies side by side or wraps it around.
class TextureGenerator {
public:
    struct Named {
        std::string file; // name under models/textures/
        RgbImage image;
    };
    // Every texture the shipped models use.
    static std::vector<Named> all();

    static RgbImage paving(unsigned variant); // 2 x 2 flagstones with grout at the edges
    static RgbImage grass();
    static RgbImage crate();
    static RgbImage marble();
    static RgbImage sandstone(); // ashlar blocks over a whole wall face
    static RgbImage bronze();
    static RgbImage granite();
    static RgbImage glass(const glm::vec3& tint);
    static RgbImage water();
};
