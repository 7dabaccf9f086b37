#include "AssetGenerator.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

// The generator remakes every shipped asset byte for byte, and nothing under
// assets/ is left without a maker.
TEST(AssetGenerator, RegeneratesAssetsByteForByte)
{
    TempDir dir;
    const std::vector<std::string> written = AssetGenerator::generate(dir.path());
    const fs::path shipped = fs::path(VELMORA_SOURCE_DIR) / "assets";
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(shipped))
        if (entry.is_regular_file())
            files.insert(fs::relative(entry.path(), shipped).generic_string());
    EXPECT_EQ(std::set<std::string>(written.begin(), written.end()), files);
    for (const std::string& file : files)
        EXPECT_TRUE(readFile(dir.file(file)) == readFile((shipped / file).string())) << file << " differs";
}
