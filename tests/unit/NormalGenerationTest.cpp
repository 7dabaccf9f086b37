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

TEST(NormalGeneration, LargeSphereOfLooseTrianglesIsSmoothEverywhere)
{
    // Every triangle with three vertices of its own, as many files store
    // meshes: corners meet only by position, here among 73,728 vertices at
    // 12,290 places, enough for places to collide in the lookup by position
    // and for the work to be split among threads.
    const int around = 128, down = 96;
    const auto point = [&](int i, int j) {
        const float longitude = glm::radians(360.0f * static_cast<float>(i) / around);
        const float latitude = glm::radians(180.0f * static_cast<float>(j) / down - 90.0f);
        return glm::vec3(std::cos(latitude) * std::cos(longitude), std::sin(latitude),
                         -std::cos(latitude) * std::sin(longitude));
    };
    std::vector<Vertex> vertices;
    std::vector<unsigned int> indices;
    const auto corner = [&](int i, int j) {
        const glm::vec3 p = j == 0 ? glm::vec3(0, -1, 0) : j == down ? glm::vec3(0, 1, 0) : point(i % around, j);
        indices.push_back(static_cast<unsigned int>(vertices.size()));
        vertices.push_back(at(p.x, p.y, p.z));
    };
    for (int j = 0; j < down; ++j)
        for (int i = 0; i < around; ++i) {
            corner(i, j), corner(i + 1, j), corner(i + 1, j + 1);
            corner(i, j), corner(i + 1, j + 1), corner(i, j + 1);
        }
    const std::size_t count = vertices.size();
    AssimpConverter::generateNormals(vertices, indices, true);

    ASSERT_EQ(vertices.size(), count) << "a smooth surface splits nothing";
    // A face normal is 0.7 to 1.9 degrees off the radius at its corners; the
    // smoothed normal is within 0.31 degrees of it (the farthest: the rings
    // next to the poles, where thin and wide triangles meet). The bound,
    // 0.57 degrees, lies between.
    std::size_t off = 0;
    for (const Vertex& vertex : vertices)
        off += glm::dot(vertex.normal, glm::normalize(vertex.position)) < 0.99995f ? 1 : 0;
    EXPECT_EQ(off, 0u) << "of " << count << " vertices";
}

} // namespace
