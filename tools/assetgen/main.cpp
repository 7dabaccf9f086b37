// velmora-assetgen: remakes every shipped asset.
//   velmora-assetgen [assets-folder]     (default: ./assets)
#include "AssetGenerator.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc > 2) {
        std::cerr << "usage: velmora-assetgen [assets-folder]" << std::endl;
        return 2;
    }
    const std::string folder = argc == 2 ? argv[1] : "assets";
    try {
        const auto written = AssetGenerator::generate(folder);
        std::cout << "velmora-assetgen: wrote " << written.size() << " files under " << folder << std::endl;
    } catch (const std::exception& error) {
        std::cerr << error.what() << std::endl;
        return 1;
    }
    return 0;
}
