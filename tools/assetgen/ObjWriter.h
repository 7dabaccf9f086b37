#pragma once

#include "MeshBuilder.h"

#include <string>

// Writes a model as Wavefront OBJ text (name.obj, which names name.mtl)
// with its companion MTL text: one "usemtl" group per part, positions,
// texture coordinates and normals each listed once (equal values shared),
// and a "map_Kd" line naming each part's texture.
class ObjWriter {
public:
    static std::string objText(const std::string& name, const MeshBuilder& mesh);
    static std::string mtlText(const MeshBuilder& mesh);
};
