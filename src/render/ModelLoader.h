#pragma once

#include "render/Mesh.h"

#include <GL/glew.h>
#include <assimp/Importer.hpp>
#include <assimp/material.h>

#include <memory>
#include <string>
#include <vector>

struct aiMesh;
struct aiNode;
struct aiScene;
class Model;

// Imports model files through Assimp into Models.
//
// Owns: one Assimp::Importer (which keeps the last imported scene until the
// next import or the loader's end) and, once a mesh needs it, a 1x1 white
// texture shared by every untextured mesh it makes (never deleted).
// Use:  one loader per scene load, with the GL context current; call
//       loadModel() once per model file. Textures are resolved against the
//       model file's directory and are not cached: every reference decodes and
//       uploads the file again, into a new texture.
class ModelLoader {
public:
    // Never returns null. An import failure prints "ERROR::ASSIMP:: <why>"
    // on stderr and returns a model without meshes.
    std::shared_ptr<Model> loadModel(std::string path);

    // Every mesh reference of the node tree, depth first in pre-order (a node's
    // own meshes before its children's). Node transformations are ignored.
    std::vector<std::shared_ptr<Mesh>> collectMeshes(const aiNode* node, const aiScene* scene);
    // Copies positions, normals (zero when the mesh has none), the first uv set
    // (zero when absent) and the complete triangles; then the material's
    // textures in the order diffuse, specular, normal (height slot), height
    // (ambient slot).
    std::shared_ptr<Mesh> convertMesh(const aiMesh* mesh, const aiScene* scene);
    std::vector<Texture> loadTexturesOfType(const aiMaterial* material, aiTextureType type, std::string typeName);

    // Text before the last '/' or '\\' plus '/', or "" when there is none.
    static std::string directoryOf(std::string path);
    // directoryOf(modelPath) + name as Assimp's 1024-byte string joins them:
    // the directory is cut to 1023 characters and the name is dropped when the
    // joined text would not stay below 1024.
    static std::string texturePath(const std::string& modelPath, const std::string& name);

private:
    GLuint whiteTexture();

    std::string path;
    // Made anew for every file (see loadModel); holds the last file's scene
    // until the next import or the loader's destruction.
    std::unique_ptr<Assimp::Importer> importer;
    GLuint white = 0;
};
