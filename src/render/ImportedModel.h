#pragma once

#include "render/Mesh.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

// A texture a material names: its slot ("texture_diffuse", ...), the name as
// the file stores it, and the image embedded in the model file that the name
// refers to (an index into ImportedModel::images), or -1 for a file on disk.
struct TextureReference {
    std::string type;
    std::string name;
    int embedded = -1;
};

// An image stored inside a model file. height 0: `bytes` is a whole image
// file (PNG, JPEG, ...); otherwise width x height RGBA texels, top row first.
struct EmbeddedImage {
    unsigned int width = 0;
    unsigned int height = 0;
    std::string bytes;
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

// The result of importing one model file, in a form that travels through a
// pipe from the import process to the viewer. Plain data; no OpenGL.
class ImportedModel {
public:
    std::vector<ImportedMesh> meshes;
    std::vector<EmbeddedImage> images;

    // Native byte order: writer and reader are the same program.
    std::string encode() const;
    // Rebuilds the model from encode()'s bytes. Every count and length is
    // checked against the bytes that are left before anything is allocated,
    // so damaged input gives false and a reason, never a huge allocation or
    // a read past the end.
    bool decode(const std::string& bytes, std::string& error);
};
