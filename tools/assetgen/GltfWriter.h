#pragma once

#include "MeshBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

// Encodes a model as glTF 2.0: name.gltf (JSON) beside name.bin (little-endian
// float positions, normals and texture coordinates, 32-bit indices). One
// node without transform holds one mesh with a primitive per part; each
// part's texture becomes the base colour texture of its material. glTF puts
// v = 0 at the top of an image, so v is written as 1 - v.
class GltfWriter {
public:
    struct Files {
        std::string json;
        std::vector<std::uint8_t> binary;
    };
    static Files encode(const std::string& name, const MeshBuilder& mesh);
};
