#pragma once

#include "render/Material.h"

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <cstddef>
#include <string>
#include <vector>

// GPU vertex format: 32 bytes, tightly packed. Attribute 0 position,
// 1 normal, 2 uv.
struct Vertex {
    glm::vec3 position;
    glm::vec3 normal;
    glm::vec2 uv;
};
static_assert(sizeof(Vertex) == 32, "Vertex must be 32 bytes, tightly packed");

// A texture name with its material slot ("texture_diffuse", ...).
struct Texture {
    GLuint id = 0;
    std::string type;
};

// What a mesh is made from: its arrays, read only while the constructor
// uploads them (they may lie in the import process's shared memory).
struct MeshArrays {
    const Vertex* vertices = nullptr;
    std::size_t vertexCount = 0;
    const unsigned int* indices = nullptr;
    std::size_t indexCount = 0;
    // Per-vertex data that only some meshes carry, each in a buffer of its
    // own so that meshes without it pay nothing: null, or one per vertex.
    // Attribute 3: the file's first colour set, linear RGBA.
    const glm::vec4* colors = nullptr;
    // Attribute 4: tangent (xyz, along increasing u) and in w the sign of
    // the bitangent: bitangent = w * cross(normal, tangent).
    const glm::vec4* tangents = nullptr;
};

// One imported mesh: CPU copies of its vertices and indices and its own
// vertex array, vertex buffer and index buffer (never deleted), plus its
// material. The buffers are filled from the arrays it is made from, not from
// its copies, so that where the arrays lie in the import process's shared
// memory the upload does not wait for the copy.
class Mesh {
public:
    Mesh(const MeshArrays& arrays, std::vector<Texture> textures, Material material = Material());
    // The same from vectors (tests, small meshes made in code).
    Mesh(const std::vector<Vertex>& vertices, const std::vector<unsigned int>& indices, std::vector<Texture> textures,
         Material material = Material());

    // Binds the material's colour texture on unit 0 (never one of
    // `textures`, which only records the material's list), and for a material with features
    // its maps on units 13, 14, 15 and its uniforms ("baseColorFactor",
    // "normalScale", "emissiveFactor", "alphaCutoff", "metallic",
    // "roughness", "specularColor", "shininess"); sets "model" and draws the
    // indexed triangles. Leaves unit 0 active. Face culling is the caller's
    // (Model draws two-sided meshes without it).
    void draw(const glm::mat4& model, GLuint program);

    const std::vector<Vertex>& getVertices() const { return vertices; }
    const std::vector<unsigned int>& getIndices() const { return indices; }
    const std::vector<Texture>& getTextures() const { return textures; }
    const Material& getMaterial() const { return material; }
    // Whether the mesh carries per-vertex colours (attribute 3) and
    // tangents (attribute 4).
    bool hasVertexColors() const { return vertexColors; }
    bool hasTangents() const { return tangents; }
    GLuint getVertexArray() const { return vao; }

private:
    void applyMaterial(GLuint program) const;

    GLuint vbo = 0;
    GLuint vao = 0;
    GLuint ebo = 0;
    std::vector<Vertex> vertices;
    std::vector<unsigned int> indices;
    std::vector<Texture> textures;
    Material material;
    bool vertexColors = false;
    bool tangents = false;
};
