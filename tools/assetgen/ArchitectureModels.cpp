#include "ArchitectureModels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr float kPi = 3.14159265f;

void addColumn(MeshBuilder& mesh, float x, float base)
{
    mesh.usePart("marble", "textures/marble.png");
    mesh.addBox({x - 0.65f, base, -0.65f}, {x + 0.65f, base + 0.25f, 0.65f});
    const glm::vec3 axis(x, base, 0.0f);
    // Torus moulding at the foot, a shaft with a slight swelling (entasis)
    // narrowing towards the top, and a flaring capital under a square slab.
    mesh.addLathe({{0.58f, 0.25f}, {0.62f, 0.31f}, {0.62f, 0.37f}, {0.56f, 0.43f}, {0.5f, 0.45f}}, 32, true, axis);
    std::vector<glm::vec2> shaft;
    for (int i = 0; i <= 8; ++i) {
        const float t = static_cast<float>(i) / 8.0f;
        shaft.push_back({0.5f - 0.08f * t * t + 0.02f * std::sin(kPi * t), 0.45f + 4.85f * t});
    }
    mesh.addLathe(shaft, 32, true, axis);
    mesh.addLathe({{0.42f, 5.3f}, {0.47f, 5.42f}, {0.56f, 5.52f}, {0.62f, 5.6f}}, 32, true, axis);
    mesh.addBox({x - 0.7f, base + 5.6f, -0.7f}, {x + 0.7f, base + 5.85f, 0.7f});
}

} // namespace

void buildColonnade(MeshBuilder& mesh)
{
    mesh.usePart("granite", "textures/granite.png");
    mesh.addBox({-11.5f, 0.0f, -1.3f}, {11.5f, 0.3f, 1.3f}, 2.0f);
    for (float x : {-10.0f, -6.0f, -2.0f, 2.0f, 6.0f, 10.0f})
        addColumn(mesh, x, 0.3f);
    mesh.usePart("marble", "textures/marble.png");
    mesh.addBox({-11.0f, 6.15f, -0.75f}, {11.0f, 6.75f, 0.75f}, 1.5f);
    mesh.addBox({-11.4f, 6.75f, -0.95f}, {11.4f, 7.05f, 0.95f}, 1.9f);
}

void buildArch(MeshBuilder& mesh)
{
    const float halfWidth = 3.2f, opening = 1.5f, spring = 3.6f, top = 6.6f, depth = 0.8f;
    mesh.usePart("sandstone", "textures/sandstone.png");
    // The wall faces carry the whole texture once, mapped flat.
    auto facePoint = [&](float x, float y, float z, const glm::vec3& normal) {
        return mesh.addVertex({x, y, z}, normal, {(x + halfWidth) / (2.0f * halfWidth), y / top});
    };
    // Angles around the arch's centre (0, spring), with the two upper
    // corners of the wall among them so that the spandrels stay flat.
    const float corner = std::atan2(top - spring, halfWidth);
    std::vector<float> angles;
    for (int i = 0; i <= 24; ++i)
        angles.push_back(kPi * static_cast<float>(i) / 24.0f);
    angles.push_back(corner);
    angles.push_back(kPi - corner);
    std::sort(angles.begin(), angles.end());
    auto rim = [&](float a) { return glm::vec2(opening * std::cos(a), spring + opening * std::sin(a)); };
    // Where the ray from the centre at angle a meets the wall's outline.
    auto outline = [&](float a) {
        const glm::vec2 d(std::cos(a), std::sin(a));
        const float toSide = std::abs(d.x) > 1e-6f ? halfWidth / std::abs(d.x) : 1e9f;
        const float toTop = (top - spring) / d.y;
        return glm::vec2(0.0f, spring) + d * std::min(toSide, d.y > 1e-6f ? toTop : 1e9f);
    };
    for (float side : {1.0f, -1.0f}) {
        const glm::vec3 normal(0.0f, 0.0f, side);
        const float z = side * depth;
        auto quad = [&](glm::vec2 a, glm::vec2 b, glm::vec2 c, glm::vec2 d) {
            // Given counter-clockwise from +z; reversed for the back face.
            const unsigned ia = facePoint(a.x, a.y, z, normal), ib = facePoint(b.x, b.y, z, normal),
                           ic = facePoint(c.x, c.y, z, normal), id = facePoint(d.x, d.y, z, normal);
            if (side > 0)
                mesh.addQuad(ia, ib, ic, id);
            else
                mesh.addQuad(ia, id, ic, ib);
        };
        quad({-halfWidth, 0}, {-opening, 0}, {-opening, spring}, {-halfWidth, spring});
        quad({opening, 0}, {halfWidth, 0}, {halfWidth, spring}, {opening, spring});
        for (std::size_t i = 0; i + 1 < angles.size(); ++i) {
            if (angles[i + 1] - angles[i] < 1e-6f)
                continue;
            quad(rim(angles[i]), outline(angles[i]), outline(angles[i + 1]), rim(angles[i + 1]));
        }
    }
    // Outer sides and top, the inner faces of the piers, and the soffit of
    // the arch facing its centre.
    const float w = halfWidth, o = opening, d = depth, tile = 1.6f;
    mesh.addTiledQuad({w, 0, d}, {w, 0, -d}, {w, top, -d}, {w, top, d}, tile);
    mesh.addTiledQuad({-w, 0, -d}, {-w, 0, d}, {-w, top, d}, {-w, top, -d}, tile);
    mesh.addTiledQuad({-w, top, d}, {w, top, d}, {w, top, -d}, {-w, top, -d}, tile);
    mesh.addTiledQuad({-o, 0, d}, {-o, 0, -d}, {-o, spring, -d}, {-o, spring, d}, tile);
    mesh.addTiledQuad({o, 0, -d}, {o, 0, d}, {o, spring, d}, {o, spring, -d}, tile);
    for (int i = 0; i < 24; ++i) {
        const float a0 = kPi * static_cast<float>(i) / 24.0f, a1 = kPi * static_cast<float>(i + 1) / 24.0f;
        const glm::vec2 p0 = rim(a0), p1 = rim(a1);
        const glm::vec3 n0(-std::cos(a0), -std::sin(a0), 0.0f), n1(-std::cos(a1), -std::sin(a1), 0.0f);
        const float v0 = static_cast<float>(i) / 24.0f, v1 = static_cast<float>(i + 1) / 24.0f;
        // One statement per vertex, last first as the shipped arch has them: the
        // order of function arguments is unspecified.
        const unsigned id = mesh.addVertex({p0.x, p0.y, -d}, n0, {1, v0});
        const unsigned ic = mesh.addVertex({p1.x, p1.y, -d}, n1, {1, v1});
        const unsigned ib = mesh.addVertex({p1.x, p1.y, d}, n1, {0, v1});
        mesh.addQuad(mesh.addVertex({p0.x, p0.y, d}, n0, {0, v0}), ib, ic, id);
    }
    mesh.addBox({-3.5f, top, -1.0f}, {3.5f, top + 0.35f, 1.0f}, 1.75f);
}

void buildPedestal(MeshBuilder& mesh)
{
    mesh.usePart("granite", "textures/granite.png");
    mesh.addBox({-1.0f, 0.0f, -1.0f}, {1.0f, 0.3f, 1.0f});
    mesh.usePart("marble", "textures/marble.png");
    mesh.addBox({-0.75f, 0.3f, -0.75f}, {0.75f, 1.5f, 0.75f});
    mesh.addBox({-0.95f, 1.5f, -0.95f}, {0.95f, 1.8f, 0.95f});
}

void buildFountain(MeshBuilder& mesh)
{
    const glm::vec3 centre(0.0f);
    mesh.usePart("granite", "textures/granite.png");
    // Outer wall, the lip, its top and the inner wall down to the water.
    mesh.addLathe({{1.8f, 0.0f}, {1.8f, 0.5f}, {1.9f, 0.55f}, {1.9f, 0.7f}, {1.6f, 0.7f}, {1.6f, 0.55f}}, 64, false,
                  centre, 4);
    // The spout in the middle, closed at the top.
    mesh.addLathe({{0.25f, 0.55f}, {0.25f, 0.8f}, {0.12f, 0.9f}, {0.12f, 0.95f}, {0.0f, 0.95f}}, 24, false, centre);
    mesh.usePart("water", "textures/water.png");
    mesh.addLathe({{1.6f, 0.55f}, {0.25f, 0.55f}}, 64, false, centre, 4);
}
