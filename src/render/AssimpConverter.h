#pragma once

#include "render/ImportedModel.h"

#include <assimp/material.h>
#include <assimp/matrix4x4.h>

#include <map>
#include <string>
#include <vector>

struct aiMesh;
struct aiNode;
struct aiScene;
struct aiTexture;

// Imports one model file with Assimp and turns its scene into an
// ImportedModel: every mesh placed by its node's accumulated transform,
// normals made where the file has none, the material's colour, its texture
// names and the images the file embeds. Plain C++ without OpenGL, so that it
// can run in a forked import process (see ImportProcess).
//
// Use: one converter per file; convert() once.
class AssimpConverter {
public:
    // Faces meeting at a sharper angle than this keep normals of their own
    // when normals are generated.
    static constexpr float creaseAngleDegrees = 60.0f;

    // False with `error` set when Assimp refuses the file or the file holds
    // no triangle.
    bool convert(const std::string& path, ImportedModel& model, std::string& error);

    // Every mesh reference of the node tree, depth first in pre-order (a
    // node's own meshes before its children's); a mesh referenced by two
    // nodes is converted twice, once at each place.
    void collectMeshes(const aiNode* node, const aiScene* scene, const aiMatrix4x4& parentTransform,
                       ImportedModel& model);
    // Positions, normals and the first uv set (zero when absent) of the whole
    // triangles, moved by `transform` (normals by its inverse transpose); then
    // the material's colour and textures in the order diffuse, specular,
    // normal (height slot), height (ambient slot).
    ImportedMesh convertMesh(const aiMesh* mesh, const aiScene* scene, const aiMatrix4x4& transform,
                             ImportedModel& model);

    // Gives every vertex whose normal is missing (`all`), zero or not finite
    // a smooth normal: the area-weighted normals of the triangles around its
    // position that lie within the crease angle of its own triangle. A vertex
    // that needs different normals in different triangles is split.
    static void generateNormals(std::vector<Vertex>& vertices, std::vector<unsigned int>& indices, bool all);

private:
    std::vector<TextureReference> texturesOfType(const aiMaterial* material, aiTextureType type,
                                                 const std::string& typeName, const aiScene* scene,
                                                 ImportedModel& model);
    int embeddedImage(const aiTexture* texture, ImportedModel& model);

    std::map<const aiTexture*, int> imageIndices;
};
