#include "PropModels.h"

#include "Noise.h"
#include "TeapotBuilder.h"

#include <cmath>

namespace {
constexpr float kTwoPi = 6.28318531f;
}

void buildGround(MeshBuilder& mesh)
{
    // Grass in 4-unit tiles out to the edge; the plaza in 2-unit flagstone
    // tiles, each pattern picked at random per tile. Each tile is one quad
    // carrying its texture once: the viewer lights every pixel, so a flat
    // tile needs no finer cut for its light pools.
    const Noise pick(17);
    auto tile = [&mesh](float x0, float z0, float size) {
        // Counter-clockwise seen from above.
        mesh.addFlatQuad({x0, 0, z0 + size}, {x0 + size, 0, z0 + size}, {x0 + size, 0, z0}, {x0, 0, z0});
    };
    mesh.usePart("grass", "textures/grass.png");
    for (int row = 0; row < 30; ++row) {
        for (int column = 0; column < 30; ++column) {
            const float x0 = -60.0f + column * 4.0f, z0 = -60.0f + row * 4.0f;
            if (x0 < -12.0f || x0 >= 12.0f || z0 < -12.0f || z0 >= 12.0f)
                tile(x0, z0, 4.0f);
        }
    }
    for (int row = 0; row < 12; ++row) {
        for (int column = 0; column < 12; ++column) {
            if (pick.lattice(column, row, 0) < 0.5f)
                mesh.usePart("paving_a", "textures/paving_a.png");
            else
                mesh.usePart("paving_b", "textures/paving_b.png");
            tile(-12.0f + column * 2.0f, -12.0f + row * 2.0f, 2.0f);
        }
    }
}

void buildCrate(MeshBuilder& mesh)
{
    mesh.usePart("crate", "textures/crate.png");
    mesh.addBox({-0.6f, 0.0f, -0.6f}, {0.6f, 1.2f, 0.6f});
}

void buildGlassSphere(MeshBuilder& mesh)
{
    mesh.usePart("glass_clear", "textures/glass_clear.png");
    mesh.addSphere({0.0f, 0.0f, 0.0f}, 1.2f, 40, 20);
}

void buildTorusKnot(MeshBuilder& mesh)
{
    const int p = 2, q = 3;
    const float big = 1.1f, small = 0.45f, tube = 0.26f;
    const int along = 240, around = 14, tiles = 12; // the texture repeats by geometry, once per tile
    auto curve = [&](float phi) {
        const float w = big + small * std::cos(q * phi);
        return glm::vec3(w * std::cos(p * phi), w * std::sin(p * phi), small * std::sin(q * phi));
    };
    mesh.usePart("bronze", "textures/bronze.png");
    const int perTile = along / tiles;
    for (int tile = 0; tile < tiles; ++tile) {
        unsigned first = 0;
        for (int i = 0; i <= perTile; ++i) {
            const float phi = kTwoPi * static_cast<float>(tile * perTile + i) / static_cast<float>(along);
            const glm::vec3 centre = curve(phi);
            const glm::vec3 tangent = glm::normalize(curve(phi + 1e-3f) - curve(phi - 1e-3f));
            // The frame leans on the offset from the torus' core circle,
            // which is never along the tangent and closes up after one turn.
            const glm::vec3 core(big * std::cos(p * phi), big * std::sin(p * phi), 0.0f);
            const glm::vec3 normal = glm::normalize(centre - core - tangent * glm::dot(centre - core, tangent));
            const glm::vec3 binormal = glm::cross(tangent, normal);
            for (int j = 0; j <= around; ++j) {
                const float theta = kTwoPi * static_cast<float>(j) / static_cast<float>(around);
                const glm::vec3 out = normal * std::cos(theta) + binormal * std::sin(theta);
                const unsigned index = mesh.addVertex(centre + out * tube, out,
                                                      {static_cast<float>(i) / perTile, static_cast<float>(j) / around});
                if (i == 0 && j == 0)
                    first = index;
            }
        }
        // (around the tube) x (along the knot) points outwards.
        mesh.addQuadGrid(first, around, perTile);
    }
}

void buildGlassTeapot(MeshBuilder& mesh)
{
    mesh.usePart("glass_amber", "textures/glass_amber.png");
    TeapotBuilder::build(mesh, 0.7f, 8);
}
