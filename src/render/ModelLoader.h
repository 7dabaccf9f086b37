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

// Imports model files through Assimp into Models. One loader serves one
// scene load; it keeps the importer (and its last scene) until destroyed.
// Textures are resolved against the directory of the model file and are not
// cached: every reference decodes and uploads again.
class ModelLoader {
public:
    // Never returns null. An import failure prints "ERROR::ASSIMP:: <why>"
    // on stderr and returns a model without meshes.
    std::shared_ptr<Model> loadModel(std::string path);

    std::vector<std::shared_ptr<Mesh>> collectMeshes(const aiNode* node, const aiScene* scene);
    std::shared_ptr<Mesh> convertMesh(const aiMesh* mesh, const aiScene* scene);
    std::vector<Texture> loadTexturesOfType(const aiMaterial* material, aiTextureType type, std::string typeName);

    // Text before the last '/' or '\\' plus '/', or "" when there is none.
    static std::string directoryOf(std::string path);

private:
    GLuint whiteTexture();

    std::string path;
    Assimp::Importer importer;
    GLuint white = 0;
};
