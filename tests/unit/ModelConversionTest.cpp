// Whole files through the converter, as the import process runs it: normals
// under the nodes that place a mesh, and normals the file states.
#include "ModelFiles.h"
#include "import/AssimpConverter.h"

#include <gtest/gtest.h>

namespace {

ImportedModel converted(const std::string& path)
{
    AssimpConverter converter;
    ImportedModel model;
    std::string error;
    EXPECT_TRUE(converter.convert(path, model, error)) << error;
    return model;
}

// The quad's normals are made facing up, then placed by its nodes: under an
// uneven scale of a turned mesh only the inverse transpose keeps them at
// right angles to the surface, and under a mirror the winding flips unless
// two corners are swapped. Either way each corner's normal must equal the
// normal its placed triangle's counter-clockwise winding gives.
TEST(ModelConversion, NormalsMatchTheWindingUnderUnevenlyScalingAndMirroringNodes)
{
    TempDir dir;
    const struct {
        const char* name;
        const char* nodes;
    } cases[] = {
        // Turned 45 degrees about z, then stretched twice along x.
        {"uneven", R"({"scale":[2,1,1],"children":[1]},{"mesh":0,"rotation":[0,0,0.38268343,0.92387953]})"},
        {"mirrored", R"({"mesh":0,"scale":[-1,1,1]})"},
    };
    for (const auto& c : cases) {
        GltfQuad quad;
        quad.nodes = c.nodes;
        const ImportedModel model = converted(writeGltf(dir, quad, c.name));
        ASSERT_EQ(model.meshes.size(), 1u) << c.name;
        const std::vector<Vertex>& v = model.meshes[0].vertices;
        const std::vector<unsigned int>& idx = model.meshes[0].indices;
        ASSERT_EQ(idx.size(), 6u) << c.name;
        for (std::size_t i = 0; i < idx.size(); ++i) {
            const std::size_t t = i - i % 3;
            const glm::vec3 face = glm::normalize(glm::cross(v[idx[t + 1]].position - v[idx[t]].position,
                                                             v[idx[t + 2]].position - v[idx[t]].position));
            EXPECT_NEAR(glm::dot(v[idx[i]].normal, face), 1.0f, 1e-5f) << c.name << " corner " << i;
        }
    }
}

// Good normals in the file are the author's (here leaning off the face, as
// a smoothed surface's do) and are kept, not made again from the faces.
TEST(ModelConversion, NormalsTheFileStatesAreKept)
{
    TempDir dir;
    dir.write("lean.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0.6 0 0.8\nf 1//1 2//1 3//1\n");
    const ImportedModel model = converted(dir.file("lean.obj"));
    ASSERT_EQ(model.meshes.size(), 1u);
    ASSERT_EQ(model.meshes[0].vertices.size(), 3u);
    for (const Vertex& vertex : model.meshes[0].vertices)
        EXPECT_NEAR(glm::distance(vertex.normal, glm::vec3(0.6f, 0.0f, 0.8f)), 0.0f, 1e-6f);
}

} // namespace
