#pragma once

#include "render/Mesh.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// A texture a material names: its slot ("texture_diffuse", ...), the name as
// the file stores it, and the image the import process decoded for it (an
// index into ImportedModel::images), or -1 when there is none.
struct TextureReference {
    std::string type;
    std::string name;
    int image = -1;
};

// An image a material names, decoded by the import process: from the file
// the name resolves to, or from the model file itself (an embedded image).
struct DecodedImage {
    // The file the texels came from, or the path tried when no file could be
    // decoded; empty for an image embedded in the model file.
    std::string file;
    // Embedded images: the texture's name in the model file, for messages.
    std::string label;
    // width x height RGBA8 texels, top row first; 0 x 0 and no texels when
    // the image could not be decoded.
    unsigned int width = 0;
    unsigned int height = 0;
    std::vector<unsigned char> texels;
};

// Checks of a material's images that only the decoded pixels can answer;
// the viewer makes them when it loads the images.
enum ImageCheck : unsigned {
    // A colour texture with any texel whose alpha is below 255 makes the
    // material blended (formats other than glTF, where alphaMode decides).
    BlendTranslucentColor = 1u << 0,
    // The normal map is kept only when its image really holds normals: a
    // bump (height) map in the same slot is dropped, with the tangents.
    VerifyNormalMap = 1u << 1,
};
constexpr unsigned knownImageChecks = BlendTranslucentColor | VerifyNormalMap;
constexpr unsigned knownMaterialFeatures = VertexColors | NormalMap | Emissive | AlphaMask | AlphaBlend | TwoSided |
                                           MetalRoughness | ClassicSpecular;

// Per-vertex data that only some meshes carry: empty, or one entry per
// vertex (see MeshArrays for what each attribute holds).
struct VertexExtras {
    // The file's first colour set, linear RGBA.
    std::vector<glm::vec4> colors;
    // Tangent (xyz, along increasing u) and in w the sign of the bitangent.
    std::vector<glm::vec4> tangents;
};

// One mesh ready for the GPU: vertices already placed by their node (or
// posed by their skin), whole triangles only, and what its material asks for.
struct ImportedMesh {
    std::vector<Vertex> vertices;
    std::vector<unsigned int> indices;
    // Diffuse, specular, normal, height, in that order.
    std::vector<TextureReference> textures;
    // The material's own colour as 8-bit sRGB, shown through a 1x1 texture
    // when it has no colour texture or that cannot be loaded; white when the
    // file gives none.
    std::array<unsigned char, 4> color{{255, 255, 255, 255}};
    // Features and factors; its texture names stay 0 here, the viewer fills
    // them from the references below.
    Material material;
    // The images of the material's maps; an empty name and no embedded image
    // where the map is absent.
    TextureReference colorMap, normalMap, emissiveMap, metalRoughnessMap;
    unsigned imageChecks = 0;
    // Per-vertex colours and tangents: empty, or one per vertex.
    VertexExtras extras;
};

// The result of importing one model file, in a form that the import process
// writes into shared memory and the viewer reads back (see MappedModel).
// Plain data; no OpenGL.
class ImportedModel {
public:
    std::vector<ImportedMesh> meshes;
    std::vector<DecodedImage> images;

    // Native byte order: writer and reader are the same program. The import
    // process asks for the size first, sizes its shared memory from it and
    // encodes straight into it. Vertices, indices, per-vertex data and
    // texels start at multiples of 16 bytes from the start (zeros pad up to
    // them), so that the reader can use them where they lie.
    std::size_t encodedSize() const;
    void encodeInto(char* out) const;
    std::string encode() const;
};

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
