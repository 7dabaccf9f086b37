#pragma once

#include "render/Mesh.h"

#include <array>
#include <cstddef>
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
