#include "TeapotBuilder.h"

#include <array>
#include <vector>

namespace {

using Patch = std::array<std::array<glm::vec3, 4>, 4>; // [row][column]

// A row of a surface of revolution's quarter patch: radius r at height z,
// with the inner control points at k (Newell's 0.56 r, rounded in the
// published data).
struct Ring {
    float r, k, z;
};

// The rows of a quarter patch run from +x to -y (`side` -1) or, for the
// bottom, from +x to +y (`side` +1), which keeps the published winding.
Patch quarter(const std::array<Ring, 4>& rings, float side)
{
    Patch patch;
    for (int i = 0; i < 4; ++i) {
        const Ring& q = rings[i];
        patch[i] = {glm::vec3(q.r, 0, q.z), glm::vec3(q.r, side * q.k, q.z), glm::vec3(q.k, side * q.r, q.z),
                    glm::vec3(0, side * q.r, q.z)};
    }
    return patch;
}

// Rim, upper body, lower body, lid knob, lid; then the bottom.
const std::array<std::array<Ring, 4>, 5> kRevolved = {{
    {{{1.4f, 0.784f, 2.4f}, {1.3375f, 0.749f, 2.53125f}, {1.4375f, 0.805f, 2.53125f}, {1.5f, 0.84f, 2.4f}}},
    {{{1.5f, 0.84f, 2.4f}, {1.75f, 0.98f, 1.875f}, {2.0f, 1.12f, 1.35f}, {2.0f, 1.12f, 0.9f}}},
    {{{2.0f, 1.12f, 0.9f}, {2.0f, 1.12f, 0.45f}, {1.5f, 0.84f, 0.225f}, {1.5f, 0.84f, 0.15f}}},
    {{{0.0f, 0.0f, 3.15f}, {0.8f, 0.45f, 3.15f}, {0.0f, 0.0f, 2.85f}, {0.2f, 0.112f, 2.7f}}},
    {{{0.2f, 0.112f, 2.7f}, {0.4f, 0.224f, 2.55f}, {1.3f, 0.728f, 2.55f}, {1.3f, 0.728f, 2.4f}}},
}};
const std::array<Ring, 4> kBottom = {{{0.0f, 0.0f, 0.0f}, {1.425f, 0.798f, 0.0f}, {1.5f, 0.84f, 0.075f},
                                      {1.5f, 0.84f, 0.15f}}};

// Handle (upper, lower) and spout (lower, upper): the halves at y <= 0.
const std::array<Patch, 4> kMirrored = {{
    {{{{{-1.6f, 0, 2.025f}, {-1.6f, -0.3f, 2.025f}, {-1.5f, -0.3f, 2.25f}, {-1.5f, 0, 2.25f}}},
      {{{-2.3f, 0, 2.025f}, {-2.3f, -0.3f, 2.025f}, {-2.5f, -0.3f, 2.25f}, {-2.5f, 0, 2.25f}}},
      {{{-2.7f, 0, 2.025f}, {-2.7f, -0.3f, 2.025f}, {-3.0f, -0.3f, 2.25f}, {-3.0f, 0, 2.25f}}},
      {{{-2.7f, 0, 1.8f}, {-2.7f, -0.3f, 1.8f}, {-3.0f, -0.3f, 1.8f}, {-3.0f, 0, 1.8f}}}}},
    {{{{{-2.7f, 0, 1.8f}, {-2.7f, -0.3f, 1.8f}, {-3.0f, -0.3f, 1.8f}, {-3.0f, 0, 1.8f}}},
      {{{-2.7f, 0, 1.575f}, {-2.7f, -0.3f, 1.575f}, {-3.0f, -0.3f, 1.35f}, {-3.0f, 0, 1.35f}}},
      {{{-2.5f, 0, 1.125f}, {-2.5f, -0.3f, 1.125f}, {-2.65f, -0.3f, 0.9375f}, {-2.65f, 0, 0.9375f}}},
      {{{-2.0f, 0, 0.9f}, {-2.0f, -0.3f, 0.9f}, {-1.9f, -0.3f, 0.6f}, {-1.9f, 0, 0.6f}}}}},
    {{{{{1.7f, 0, 1.425f}, {1.7f, -0.66f, 1.425f}, {1.7f, -0.66f, 0.6f}, {1.7f, 0, 0.6f}}},
      {{{2.6f, 0, 1.425f}, {2.6f, -0.66f, 1.425f}, {3.1f, -0.66f, 0.825f}, {3.1f, 0, 0.825f}}},
      {{{2.3f, 0, 2.1f}, {2.3f, -0.25f, 2.1f}, {2.4f, -0.25f, 2.025f}, {2.4f, 0, 2.025f}}},
      {{{2.7f, 0, 2.4f}, {2.7f, -0.25f, 2.4f}, {3.3f, -0.25f, 2.4f}, {3.3f, 0, 2.4f}}}}},
    {{{{{2.7f, 0, 2.4f}, {2.7f, -0.25f, 2.4f}, {3.3f, -0.25f, 2.4f}, {3.3f, 0, 2.4f}}},
      {{{2.8f, 0, 2.475f}, {2.8f, -0.25f, 2.475f}, {3.525f, -0.25f, 2.49375f}, {3.525f, 0, 2.49375f}}},
      {{{2.9f, 0, 2.475f}, {2.9f, -0.15f, 2.475f}, {3.45f, -0.15f, 2.5125f}, {3.45f, 0, 2.5125f}}},
      {{{2.8f, 0, 2.4f}, {2.8f, -0.15f, 2.4f}, {3.2f, -0.15f, 2.4f}, {3.2f, 0, 2.4f}}}}},
}};

glm::vec4 bernstein(float t)
{
    const float s = 1.0f - t;
    return {s * s * s, 3.0f * t * s * s, 3.0f * t * t * s, t * t * t};
}

glm::vec4 bernsteinSlope(float t)
{
    const float s = 1.0f - t;
    return {-3.0f * s * s, 3.0f * s * s - 6.0f * t * s, 6.0f * t * s - 3.0f * t * t, 3.0f * t * t};
}

glm::vec3 combine(const Patch& patch, const glm::vec4& bu, const glm::vec4& bv)
{
    glm::vec3 sum(0.0f);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            sum += patch[i][j] * (bu[i] * bv[j]);
    return sum;
}

// Surface normal of a patch as published: the data winds every patch so
// that d/dcolumn x d/drow points out of the pot. Where a row collapses to
// one point (lid knob, bottom centre) the normal is taken a little way in.
glm::vec3 normalAt(const Patch& patch, float u, float v)
{
    for (float nudge : {0.0f, 1e-3f, 1e-2f}) {
        const float uu = u < 0.5f ? u + nudge : u - nudge;
        const glm::vec3 du = combine(patch, bernsteinSlope(uu), bernstein(v));
        const glm::vec3 dv = combine(patch, bernstein(uu), bernsteinSlope(v));
        const glm::vec3 n = glm::cross(dv, du);
        if (glm::length(n) > 1e-6f)
            return glm::normalize(n);
    }
    return {0.0f, 0.0f, 1.0f};
}

Patch turned(const Patch& patch, int quarterTurns)
{
    Patch out = patch;
    for (auto& row : out)
        for (glm::vec3& p : row)
            for (int k = 0; k < quarterTurns; ++k)
                p = {-p.y, p.x, p.z}; // 90 degrees about z
    return out;
}

// Mirrored across y = 0; the columns are reversed so the winding, and with
// it the outward normal, survives the reflection.
Patch mirrored(const Patch& patch)
{
    Patch out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[i][3 - j] = patch[i][j] * glm::vec3(1.0f, -1.0f, 1.0f);
    return out;
}

} // namespace

void TeapotBuilder::build(MeshBuilder& mesh, float scale, int subdivisions)
{
    std::vector<Patch> patches;
    for (const auto& rings : kRevolved)
        for (int k = 0; k < 4; ++k)
            patches.push_back(turned(quarter(rings, -1.0f), k));
    for (int k = 0; k < 4; ++k)
        patches.push_back(turned(quarter(kBottom, 1.0f), k));
    for (const Patch& half : kMirrored) {
        patches.push_back(half);
        patches.push_back(mirrored(half));
    }
    // z-up to y-up: (x, y, z) -> (x, z, -y), a quarter turn about x.
    auto yUp = [](const glm::vec3& p) { return glm::vec3(p.x, p.z, -p.y); };
    const int n = subdivisions;
    for (const Patch& patch : patches) {
        unsigned first = 0;
        for (int i = 0; i <= n; ++i) {
            for (int j = 0; j <= n; ++j) {
                const float u = static_cast<float>(i) / n, v = static_cast<float>(j) / n;
                const glm::vec3 p = combine(patch, bernstein(u), bernstein(v));
                const unsigned index = mesh.addVertex(yUp(p) * scale, yUp(normalAt(patch, u, v)), {v, 1.0f - u});
                if (i == 0 && j == 0)
                    first = index;
            }
        }
        // Rows run along u, columns along v: d/dcolumn x d/drow is the
        // outward normal.
        mesh.addQuadGrid(first, n, n);
    }
}
