#include "import/MappedModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

// One triangle with every per-vertex and material field set, and one image.
ImportedModel sample()
{
    ImportedModel model;
    ImportedMesh mesh;
    mesh.vertices.resize(3);
    mesh.indices = {0, 1, 2};
    mesh.material.features = VertexColors | NormalMap | Emissive | AlphaBlend;
    mesh.material.baseColorFactor = glm::vec4(0.1f, 0.2f, 0.3f, 0.4f);
    mesh.material.emissiveFactor = glm::vec3(0.5f);
    mesh.material.shininess = 7.0f;
    mesh.imageChecks = VerifyNormalMap;
    mesh.normalMap = TextureReference{"", "n.png", 0};
    mesh.extras.colors.assign(3, glm::vec4(0.25f));
    mesh.extras.tangents.assign(3, glm::vec4(1, 0, 0, -1));
    model.meshes.push_back(mesh);
    model.images.push_back(DecodedImage{"", "", 1, 1, std::vector<unsigned char>(4, 255)});
    return model;
}

// The hand-over carries the material and the per-vertex data, and refuses
// what the viewer must not read: per-vertex data of the wrong length or
// without its feature, unknown flags, factors that are not finite, maps
// outside the image list.
TEST(ImportedModel, CarriesMaterialsAndExtrasAndRefusesInconsistentOnes)
{
    MappedModel back;
    std::string error;
    ASSERT_TRUE(back.read(sample().encode(), error)) << error;
    const ImportedMesh mesh = back.copy().meshes.at(0);
    EXPECT_EQ(mesh.material.features, sample().meshes[0].material.features);
    EXPECT_EQ(mesh.material.baseColorFactor, glm::vec4(0.1f, 0.2f, 0.3f, 0.4f));
    EXPECT_EQ(mesh.material.emissiveFactor, glm::vec3(0.5f));
    EXPECT_EQ(mesh.material.shininess, 7.0f);
    EXPECT_EQ(mesh.imageChecks, static_cast<unsigned>(VerifyNormalMap));
    EXPECT_EQ(mesh.normalMap.name, "n.png");
    EXPECT_EQ(mesh.normalMap.image, 0);
    EXPECT_EQ(mesh.extras.colors, sample().meshes[0].extras.colors);
    EXPECT_EQ(mesh.extras.tangents, sample().meshes[0].extras.tangents);

    const std::function<void(ImportedMesh&)> damages[] = {
        [](ImportedMesh& m) { m.extras.colors.pop_back(); },
        [](ImportedMesh& m) { m.material.features &= ~NormalMap; },
        [](ImportedMesh& m) { m.material.features |= 1u << 8; },
        [](ImportedMesh& m) { m.imageChecks |= 1u << 2; },
        [](ImportedMesh& m) { m.material.roughness = std::nanf(""); },
        [](ImportedMesh& m) { m.extras.tangents[1].w = INFINITY; },
        [](ImportedMesh& m) { m.emissiveMap.image = 1; },
    };
    int row = 0;
    for (const auto& damage : damages) {
        ImportedModel model = sample();
        damage(model.meshes[0]);
        EXPECT_FALSE(back.read(model.encode(), error)) << "row " << row;
        EXPECT_TRUE(back.meshes.empty()) << "row " << row++;
    }
}

} // namespace
