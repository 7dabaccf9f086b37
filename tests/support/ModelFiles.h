#pragma once

#include "TempDir.h"

#include <string>
#include <vector>

// Model files written by tests, in the forms their formats' exporters write.

// What a glTF 2 file of one 1 x 1 quad holds beside its positions (y = 0,
// facing up, corners (-0.5, 0.5), (0.5, 0.5), (0.5, -0.5), (-0.5, -0.5) with
// uvs (0, 1), (1, 1), (1, 0), (0, 0): u grows along +x and v = 0, the image's
// top row, lies at -z) and uvs.
struct GltfQuad {
    // Material 0, as JSON.
    std::string material = "{}";
    // Image files (beside the .gltf) that textures 0, 1, ... show.
    std::vector<std::string> images;
    // A PNG file embedded as an extra image and texture (the last ones): the
    // file becomes a .glb.
    std::string embedded;
    // Per-vertex COLOR_0 (RGBA floats) and TANGENT (xyz and handedness).
    std::vector<float> colors;
    std::vector<float> tangents;
    // Nodes as JSON; node 0 is the scene's root. Node 0 draws the mesh
    // unless `nodes` says otherwise.
    std::string nodes = R"({"mesh":0})";
    // Skin: JOINTS_0 and WEIGHTS_0 per vertex (4 each) and the skins JSON,
    // where BIND stands for the accessor of one identity inverse bind matrix.
    std::vector<unsigned short> joints;
    std::vector<float> weights;
    std::string skins;
};

// Writes name.gltf (with name.bin) or name.glb into `dir`; returns its path.
std::string writeGltf(const TempDir& dir, const GltfQuad& quad, const std::string& name = "quad");
