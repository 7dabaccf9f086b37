#pragma once

#include "import/ImportedModel.h"

#include <assimp/material.h>
#include <assimp/matrix4x4.h>
#include <glm/glm.hpp>

#include <map>
#include <string>
#include <vector>

struct aiMesh;
struct aiNode;
struct aiScene;
struct aiTexture;

// Imports one model file with Assimp and turns its scene into an
// ImportedModel: every mesh placed by its node's accumulated transform (or
// posed by its skin), normals made where the file has none, tangents where
// a normal map needs them, the first colour set, the material's colours,
// factors and maps, and every image its materials name, decoded to RGBA
// texels (from the file the name resolves to, or embedded in the model
// file), each image once per file. Plain C++ without OpenGL, so that it can
// run in a forked import process (see ImportProcess).
//
// Use: one converter per file; convert() once.
class AssimpConverter {
public:
    // Called now and then while a file is read and converted, so that a
    // watcher can tell slow work from a hang; null calls nothing.
    static void (*progress)();

    // Faces meeting at a sharper angle than this keep normals of their own
    // when normals are generated.
    static constexpr float creaseAngleDegrees = 60.0f;

    // False with `error` set when Assimp refuses the file or the file holds
    // no triangle.
    bool convert(const std::string& path, ImportedModel& model, std::string& error);
    // How long convert() spent in Assimp's ReadFile and in the rest, in ms.
    double readMs = 0.0;
    double convertMs = 0.0;

    // Every mesh reference of the node tree, depth first in pre-order (a
    // node's own meshes before its children's); a mesh referenced by two
    // nodes is converted twice, once at each place.
    void collectMeshes(const aiNode* node, const aiScene* scene, const aiMatrix4x4& parentTransform,
                       ImportedModel& model);
    // Positions, normals and the first uv set (zero when absent) of the whole
    // triangles, with the first colour set and tangents where the material
    // needs them, moved by `transform` (normals by its inverse transpose). A
    // mesh with bones is posed instead: each weighted vertex by the weighted
    // sum of its bones' node transforms times their offset matrices. Then
    // the material (see readMaterial).
    ImportedMesh convertMesh(const aiMesh* mesh, const aiScene* scene, const aiMatrix4x4& transform,
                             ImportedModel& model);

    // Gives every vertex whose normal is missing (`all`), zero or not finite
    // a smooth normal: the area-weighted normals of the triangles around its
    // position that lie within the crease angle of its own triangle. A vertex
    // that needs different normals in different triangles is split: the
    // result lists, for each vertex appended, the vertex it copies.
    static std::vector<unsigned int> generateNormals(std::vector<Vertex>& vertices, std::vector<unsigned int>& indices,
                                                     bool all);
    // Per-vertex tangents (w: bitangent = w * cross(normal, tangent)) from
    // the uv derivatives of the triangles around each vertex, with the
    // bitangent pointing up the image (towards decreasing v, v = 0 being the
    // image's top row as uvs arrive after the importer's flip).
    static std::vector<glm::vec4> generateTangents(const std::vector<Vertex>& vertices,
                                                   const std::vector<unsigned int>& indices);

    // Text before the last '/' or '\\' plus '/', or "" when there is none.
    static std::string directoryOf(const std::string& path);
    // directoryOf(modelPath) + name as Assimp's 1024-byte string joins them:
    // the directory is cut to 1023 characters and the name is dropped when the
    // joined text would not stay below 1024.
    static std::string texturePath(const std::string& modelPath, const std::string& name);
    // The file a material's texture name means: the name with '\\' read as
    // '/' joined as texturePath() does; when that file does not exist, the
    // same file name in another case in that directory, then the bare file
    // name (in any case) in the model's directory. When none exists, the
    // joined path, for the failure line.
    static std::string findTexture(const std::string& modelPath, const std::string& name);

private:
    // The texture list in the order diffuse, specular, normal (height slot),
    // height (ambient slot); the colour and its factor; the colour, normal,
    // emissive and metal-roughness maps; alpha, two-sided, emissive,
    // metal-roughness and classic specular values.
    void readMaterial(const aiMaterial* material, const aiScene* scene, ImportedModel& model, ImportedMesh& result);

    std::vector<TextureReference> texturesOfType(const aiMaterial* material, aiTextureType type,
                                                 const std::string& typeName, const aiScene* scene,
                                                 ImportedModel& model);
    // The index in model.images of the image `name` means, decoded on first
    // use: the file's embedded image of that name, else the file it
    // resolves to (findTexture).
    int imageOf(const aiString& name, const aiScene* scene, ImportedModel& model);

    std::string path;
    std::map<const aiTexture*, int> embeddedImages;
    std::map<std::string, int> fileImages;
    // glTF materials are linear and metal-roughness; OBJ's reader reports an
    // unstated Kd as 0.6 grey, PLY's an unstated specular colour as white.
    bool gltf = false;
    bool obj = false;
    bool ply = false;
    // Global transform of each named node, for bones (filled only when a
    // mesh has bones).
    std::map<std::string, glm::mat4> nodeTransforms;
};
