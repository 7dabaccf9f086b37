#pragma once

#include <glm/glm.hpp>

#include <string>
#include <vector>

// One vertex as the model files carry it. Texture coordinates follow the OBJ
// convention: v = 0 is the bottom row of the image.
struct MeshVertex {
    glm::vec3 position;
    glm::vec3 normal;
    glm::vec2 uv;
};

// The geometry of one material: triangles wound counter-clockwise as seen
// from the side the normals point to. `texture` is the image file name,
// relative to the model file.
struct MeshPart {
    std::string material;
    std::string texture;
    std::vector<MeshVertex> vertices;
    std::vector<unsigned> indices;
};

// Collects a model's geometry, one part per material, in world units at the
// model's final size. Call usePart before adding geometry; shapes go into the
// part selected last. Every shape maps whole textures (uv 0..1) onto its
// faces, because the viewer samples clamped without repetition.
class MeshBuilder {
public:
    void usePart(const std::string& material, const std::string& texture);

    unsigned addVertex(const glm::vec3& position, const glm::vec3& normal, const glm::vec2& uv);
    void addTriangle(unsigned a, unsigned b, unsigned c);
    // a, b, c, d counter-clockwise seen from the front.
    void addQuad(unsigned a, unsigned b, unsigned c, unsigned d);
    // Quads over a grid of (columns + 1) x (rows + 1) vertices added row by
    // row from index `first`: each cell's corners (column, row),
    // (column + 1, row), (column + 1, row + 1), (column, row + 1) in that
    // order, which is counter-clockwise when columns x rows faces outwards.
    void addQuadGrid(unsigned first, int columns, int rows);
    // A flat quad with uv (0,0), (1,0), (1,1), (0,1) at a, b, c, d.
    void addFlatQuad(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c, const glm::vec3& d);
    // A flat quad cut into tiles of about `tile` units along each edge, each
    // tile carrying the whole texture; tile 0 means one tile.
    void addTiledQuad(const glm::vec3& a, const glm::vec3& b, const glm::vec3& c, const glm::vec3& d, float tile);
    // An axis-aligned box with outward faces, tiled as addTiledQuad does.
    void addBox(const glm::vec3& low, const glm::vec3& high, float tile = 0.0f);
    // A surface of revolution about the vertical axis through `centre`.
    // `profile` holds (radius, height) points; the normal of each piece is
    // on the right of the direction of travel in the (radius, height) plane,
    // so a profile climbing at positive radius faces outwards. `smooth`
    // shares normals between pieces; otherwise every piece is shaded flat
    // along the profile. u runs from 0 to 1 `uTiles` times around
    // (`segments` must be a multiple of it), v once along the profile.
    void addLathe(const std::vector<glm::vec2>& profile, int segments, bool smooth, const glm::vec3& centre,
                  int uTiles = 1);
    void addSphere(const glm::vec3& centre, float radius, int slices, int stacks);

    const std::vector<MeshPart>& getParts() const { return parts; }

private:
    MeshPart& part();

    std::vector<MeshPart> parts;
    std::size_t current = 0;
};
