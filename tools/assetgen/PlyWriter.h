#pragma once

#include "MeshBuilder.h"

#include <string>

// Writes a one-part model as ASCII PLY: position, normal and texture
// coordinate per vertex, triangles as faces, and the part's texture named in
// a "comment TextureFile" line, the form Assimp's PLY importer reads.
class PlyWriter {
public:
    static std::string text(const MeshBuilder& mesh);
};
