#include "MeshBuilder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {
constexpr float kTwoPi = 6.28318531f;
}

void MeshBuilder::usePart(const std::string& material, const std::string& texture)
{
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].material == material) {
            current = i;
            return;
        }
    }
    parts.push_back(MeshPart{material, texture, {}, {}});
    current = parts.size() - 1;
}

MeshPart& MeshBuilder::part()
{
    if (parts.empty())
        throw std::logic_error("MeshBuilder: usePart must come before any geometry");
    return parts[current];
}

unsigned MeshBuilder::addVertex(const glm::vec3& position, const glm::vec3& normal, const glm::vec2& uv)
{
    MeshPart& target = part();
    target.vertices.push_back(MeshVertex{position, glm::normalize(normal), uv});
    return static_cast<unsigned>(target.vertices.size() - 1);
}

void MeshBuilder::addTriangle(unsigned a, unsigned b, unsigned c)
{
    std::vector<unsigned>& indices = part().indices;
    indices.insert(indices.end(), {a, b, c});
}

void MeshBuilder::addQuad(unsigned a, unsigned b, unsigned c, unsigned d)
{
    addTriangle(a, b, c);
    addTriangle(a, c, d);
}

void MeshBuilder::addFlatQuad(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c, const glm::vec3& d)
{
    const glm::vec3 normal = glm::normalize(glm::cross(b - a, d - a));
    // One statement each: the order of function arguments is unspecified, and
    // the vertex order is part of the files. Last corner first, as the
    // shipped assets have it.
    const unsigned id = addVertex(d, normal, {0, 1});
    const unsigned ic = addVertex(c, normal, {1, 1});
    const unsigned ib = addVertex(b, normal, {1, 0});
    const unsigned ia = addVertex(a, normal, {0, 0});
    addQuad(ia, ib, ic, id);
}

void MeshBuilder::addQuadGrid(unsigned first, int columns, int rows)
{
    const unsigned row = static_cast<unsigned>(columns + 1);
    for (unsigned j = 0; j < static_cast<unsigned>(rows); ++j) {
        for (unsigned i = 0; i < static_cast<unsigned>(columns); ++i) {
            const unsigned a = first + j * row + i;
            addQuad(a, a + 1, a + row + 1, a + row);
        }
    }
}

void MeshBuilder::addTiledQuad(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c, const glm::vec3& d,
                               float tile)
{
    auto count = [tile](float length) {
        return tile > 0.0f ? std::max(1, static_cast<int>(std::lround(length / tile))) : 1;
    };
    const int nu = count(glm::length(b - a)), nv = count(glm::length(d - a));
    // Bilinear point at tile grid position (i, j).
    auto at = [&](int i, int j) {
        const float u = static_cast<float>(i) / nu, v = static_cast<float>(j) / nv;
        return glm::mix(glm::mix(a, b, u), glm::mix(d, c, u), v);
    };
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i)
            addFlatQuad(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
}

void MeshBuilder::addBox(const glm::vec3& low, const glm::vec3& high, float tile)
{
    const glm::vec3 l = low, h = high;
    addTiledQuad({l.x, l.y, h.z}, {h.x, l.y, h.z}, {h.x, h.y, h.z}, {l.x, h.y, h.z}, tile); // +z
    addTiledQuad({h.x, l.y, l.z}, {l.x, l.y, l.z}, {l.x, h.y, l.z}, {h.x, h.y, l.z}, tile); // -z
    addTiledQuad({h.x, l.y, h.z}, {h.x, l.y, l.z}, {h.x, h.y, l.z}, {h.x, h.y, h.z}, tile); // +x
    addTiledQuad({l.x, l.y, l.z}, {l.x, l.y, h.z}, {l.x, h.y, h.z}, {l.x, h.y, l.z}, tile); // -x
    addTiledQuad({l.x, h.y, h.z}, {h.x, h.y, h.z}, {h.x, h.y, l.z}, {l.x, h.y, l.z}, tile); // +y
    addTiledQuad({l.x, l.y, l.z}, {h.x, l.y, l.z}, {h.x, l.y, h.z}, {l.x, l.y, h.z}, tile); // -y
}

void MeshBuilder::addLathe(const std::vector<glm::vec2>& profile, int segments, bool smooth, const glm::vec3& centre,
                           int uTiles)
{
    const std::size_t n = profile.size();
    if (n < 2)
        return;
    std::vector<glm::vec2> pieceNormals;
    std::vector<float> length{0.0f};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const glm::vec2 d = profile[i + 1] - profile[i];
        pieceNormals.push_back(glm::normalize(glm::vec2(d.y, -d.x)));
        length.push_back(length.back() + glm::length(d));
    }
    if (uTiles < 1 || segments % uTiles != 0)
        throw std::invalid_argument("MeshBuilder::addLathe: segments must be a multiple of uTiles");
    const int perTile = segments / uTiles;
    // One ring of vertices around the axis at profile point i with the
    // profile normal `n2` (radial, vertical): a run of perTile + 1 vertices
    // per texture tile, the runs meeting at duplicated vertices.
    auto ring = [&](std::size_t i, const glm::vec2& n2) {
        const unsigned first = static_cast<unsigned>(part().vertices.size());
        for (int tile = 0; tile < uTiles; ++tile) {
            for (int k = 0; k <= perTile; ++k) {
                const float angle = kTwoPi * static_cast<float>(tile * perTile + k) / static_cast<float>(segments);
                const glm::vec3 radial(std::cos(angle), 0.0f, -std::sin(angle));
                addVertex(centre + radial * profile[i].x + glm::vec3(0.0f, profile[i].y, 0.0f),
                          radial * n2.x + glm::vec3(0.0f, n2.y, 0.0f),
                          {static_cast<float>(k) / static_cast<float>(perTile), length[i] / length.back()});
            }
        }
        return first;
    };
    auto band = [&](unsigned lower, unsigned upper) {
        for (int tile = 0; tile < uTiles; ++tile) {
            for (int k = 0; k < perTile; ++k) {
                const unsigned offset = static_cast<unsigned>(tile * (perTile + 1) + k);
                const unsigned a = lower + offset, d = upper + offset;
                addQuad(a, a + 1, d + 1, d);
            }
        }
    };
    if (smooth) {
        std::vector<unsigned> rings;
        for (std::size_t i = 0; i < n; ++i) {
            glm::vec2 normal = i == 0 ? pieceNormals.front()
                               : i == n - 1 ? pieceNormals.back()
                                            : pieceNormals[i - 1] + pieceNormals[i];
            rings.push_back(ring(i, glm::normalize(normal)));
        }
        for (std::size_t i = 0; i + 1 < n; ++i)
            band(rings[i], rings[i + 1]);
    } else {
        for (std::size_t i = 0; i + 1 < n; ++i) {
            const unsigned lower = ring(i, pieceNormals[i]);
            band(lower, ring(i + 1, pieceNormals[i]));
        }
    }
}

void MeshBuilder::addSphere(const glm::vec3& centre, float radius, int slices, int stacks)
{
    const unsigned first = static_cast<unsigned>(part().vertices.size());
    for (int i = 0; i <= stacks; ++i) {
        const float v = static_cast<float>(i) / static_cast<float>(stacks);
        const float theta = 3.14159265f * v; // from the south pole (v = 0) up
        for (int j = 0; j <= slices; ++j) {
            const float u = static_cast<float>(j) / static_cast<float>(slices);
            const glm::vec3 normal(std::sin(theta) * std::cos(kTwoPi * u), -std::cos(theta),
                                   -std::sin(theta) * std::sin(kTwoPi * u));
            addVertex(centre + normal * radius, normal, {u, v});
        }
    }
    const unsigned row = static_cast<unsigned>(slices + 1);
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            const unsigned a = first + static_cast<unsigned>(i) * row + static_cast<unsigned>(j);
            if (i == 0)
                addTriangle(a, a + row + 1, a + row); // the south cap: one triangle per slice
            else if (i == stacks - 1)
                addTriangle(a, a + 1, a + row);
            else
                addQuad(a, a + 1, a + row + 1, a + row);
        }
    }
}
