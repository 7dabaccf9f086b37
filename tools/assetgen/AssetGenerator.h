#pragma once

#include <string>
#include <vector>

// Makes every asset the viewer ships with, deterministically, from nothing
// but this code: the scene and camera path files, the models with their
// textures, and the six night-sky faces. The output of two runs is
// identical byte for byte.
class AssetGenerator {
public:
    // Writes everything under `assetsFolder` (the repository's "assets"
    // folder, or a scratch copy of it), creating folders as needed.
    // Returns the paths written, relative to `assetsFolder`, sorted; throws
    // std::runtime_error when a file cannot be written.
    static std::vector<std::string> generate(const std::string& assetsFolder);
};
