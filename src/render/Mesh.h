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

// One imported mesh: its own vertex array, vertex buffer and index buffer
// (never deleted) and its material. The vertex and index data live on the
// GPU only; the few users that need positions on the CPU read them back.
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

    std::size_t getVertexCount() const { return vertexCount; }
    std::size_t getIndexCount() const { return indexCount; }
    // The vertices as the vertex buffer holds them, read back on the first
    // call (context current) and kept from then on: for meshes whose bounds
    // a pass needs every frame (glass, blended meshes).
    const std::vector<Vertex>& getVertices() const;
    // The vertices read back for one look, without keeping a copy: with the
    // buffer mapped for reading (no copy where the driver keeps buffers in
    // main memory), visit(const Vertex* vertices, std::size_t count).
    template <typename Visit> void visitVertices(Visit visit) const
    {
        if (vertexCount == 0)
            return;
        GLint bound = 0;
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        const void* data = glMapBufferRange(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(vertexCount * sizeof(Vertex)),
                                            GL_MAP_READ_BIT);
        if (data)
            visit(static_cast<const Vertex*>(data), vertexCount);
        glUnmapBuffer(GL_ARRAY_BUFFER);
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(bound));
    }
    // The indices read back from the index buffer (tests).
    std::vector<unsigned int> readIndices() const;
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
    std::size_t vertexCount = 0;
    std::size_t indexCount = 0;
    std::vector<Texture> textures;
    Material material;
    bool vertexColors = false;
    bool tangents = false;
    mutable std::vector<Vertex> readBack;
    mutable bool readBackDone = false;
};
