// Normals made for meshes whose file has none (or has broken ones): faces
// meeting at a crease keep their own, gentle bends are smoothed, and good
// normals of the file are kept.
#include "import/AssimpConverter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Vertex at(float x, float y, float z, glm::vec3 normal = glm::vec3(0.0f))
{
    return Vertex{glm::vec3(x, y, z), normal, glm::vec2(0.0f)};
}

glm::vec3 faceNormal(const std::vector<Vertex>& v, const std::vector<unsigned int>& idx, std::size_t t)
{
    return glm::normalize(glm::cross(v[idx[3 * t + 1]].position - v[idx[3 * t]].position,
                                     v[idx[3 * t + 2]].position - v[idx[3 * t]].position));
}

TEST(NormalGeneration, CubeOfSharedCornersStaysFlatSidedWithEachCornerSplitPerFace)
{
    // Eight shared corners, two counter-clockwise triangles per face: every
    // corner meets three faces at 90 degrees, beyond the crease angle.
    std::vector<Vertex> vertices;
    for (int i = 0; i < 8; ++i)
        vertices.push_back(at(i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f));
    std::vector<unsigned int> indices = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                                         2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
    const std::vector<Vertex> before = vertices;
    const std::vector<unsigned int> corners = indices;
    const std::vector<unsigned int> sources = AssimpConverter::generateNormals(vertices, indices, true);

    EXPECT_EQ(vertices.size(), 24u) << "each corner once per face";
    ASSERT_EQ(sources.size(), 16u);
    for (std::size_t i = 0; i < sources.size(); ++i)
        EXPECT_EQ(vertices[8 + i].position, before[sources[i]].position);
    for (std::size_t c = 0; c < indices.size(); ++c) {
        EXPECT_EQ(vertices[indices[c]].position, before[corners[c]].position);
        const glm::vec3 face = faceNormal(vertices, indices, c / 3);
        EXPECT_NEAR(glm::dot(vertices[indices[c]].normal, face), 1.0f, 1e-6f) << "corner " << c;
    }
}

TEST(NormalGeneration, GentleBendIsSmoothedByAreaAndGoodNormalsAreKept)
{
    // Two triangles folded 20 degrees along the shared edge (0, 1); the
    // second is twice as large. Vertex 3 comes with a good normal of its own,
    // which a file's normals must keep (only missing ones are made).
    const float s = std::sin(glm::radians(20.0f)), c = std::cos(glm::radians(20.0f));
    std::vector<Vertex> vertices = {at(0, 0, 0), at(0, 0, -1), at(-1, 0, 0), at(2 * c, 2 * s, 0, glm::vec3(1, 0, 0))};
    std::vector<unsigned int> indices = {0, 1, 2, 0, 3, 1};
    const glm::vec3 left = faceNormal(vertices, indices, 0), right = faceNormal(vertices, indices, 1);
    AssimpConverter::generateNormals(vertices, indices, false);

    ASSERT_EQ(vertices.size(), 4u) << "a bend within the crease angle splits nothing";
    const glm::vec3 smooth = glm::normalize(left + 2.0f * right);
    EXPECT_NEAR(glm::dot(vertices[0].normal, smooth), 1.0f, 1e-6f);
    EXPECT_NEAR(glm::dot(vertices[1].normal, smooth), 1.0f, 1e-6f);
    EXPECT_NEAR(glm::dot(vertices[2].normal, left), 1.0f, 1e-6f);
    EXPECT_EQ(vertices[3].normal, glm::vec3(1, 0, 0));
}

} // namespace
