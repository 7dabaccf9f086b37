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

// One mesh ready for the GPU: vertices already placed by their node, whole
// triangles only, and what its material asks for.
struct ImportedMesh {
    std::vector<Vertex> vertices;
    std::vector<unsigned int> indices;
    // Diffuse, specular, normal, height, in that order.
    std::vector<TextureReference> textures;
    // The material's own colour as 8-bit sRGB, shown when it names no
    // texture; white when the file gives none.
    std::array<unsigned char, 4> color{{255, 255, 255, 255}};
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
