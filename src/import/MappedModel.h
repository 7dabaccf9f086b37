#pragma once

#include "import/ImportedModel.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// An array inside the bytes a MappedModel reads, used where it lies.
template <typename T> struct ArrayView {
    const T* data = nullptr;
    std::size_t size = 0;

    const T* begin() const { return data; }
    const T* end() const { return data + size; }
    bool empty() const { return size == 0; }
    const T& operator[](std::size_t i) const { return data[i]; }
};

// A mesh as the viewer reads it: ImportedMesh's fields, its vertices,
// indices, colours and tangents left in the hand-over bytes.
struct MappedMesh {
    ArrayView<Vertex> vertices;
    ArrayView<unsigned int> indices;
    std::vector<TextureReference> textures;
    std::array<unsigned char, 4> color{{255, 255, 255, 255}};
    Material material;
    TextureReference colorMap, normalMap, emissiveMap, metalRoughnessMap;
    unsigned imageChecks = 0;
    ArrayView<glm::vec4> colors;
    ArrayView<glm::vec4> tangents;
};

// An image as the viewer reads it, its texels left in the hand-over bytes.
struct MappedImage {
    std::string file;
    std::string label;
    unsigned int width = 0;
    unsigned int height = 0;
    ArrayView<unsigned char> texels;
};

// One imported model as the viewer receives it: the encoded bytes, checked
// whole and then read in place, so that the big arrays go from the import
// process's memory to the GPU without a copy of their own. This is the
// viewer's boundary against the import process: every count and length is
// checked against the bytes left before anything is allocated (damaged
// input gives false and a reason, never a huge allocation or a read past
// the end), and what the bytes refer to is checked too (indices inside
// their vertex list, whole triangles, images inside the image list, texels
// complete, per-vertex data one per vertex and finite, only known flags).
//
// Owns: the bytes it read (a copy, or the mapping it was given), until it
// is destroyed; the views in `meshes` and `images` point into them.
// Use:  one read, then the views; a failed read leaves both lists empty.
class MappedModel {
public:
    MappedModel() = default;
    ~MappedModel();
    MappedModel(const MappedModel&) = delete;
    MappedModel& operator=(const MappedModel&) = delete;

    // Reads a copy of `bytes`.
    bool read(const std::string& bytes, std::string& error);
    // Reads `size` bytes of a read-only mapping at `address` (page-aligned)
    // that must not change while it is mapped (sealed shared memory); the
    // mapping becomes this object's: unmapped with it, or at once when the
    // read fails.
    bool readMapping(void* address, std::size_t size, std::string& error);
    // The model in its owned form (tests, the fuzzer).
    ImportedModel copy() const;

    std::vector<MappedMesh> meshes;
    std::vector<MappedImage> images;

private:
    bool readBytes(std::string& error);
    void release();

    const char* bytes = nullptr;
    std::size_t size = 0;
    // Where `bytes` comes from: a copy on the heap, or a mapping.
    std::unique_ptr<std::max_align_t[]> copied;
    void* mapping = nullptr;
};
