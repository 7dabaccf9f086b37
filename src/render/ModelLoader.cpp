#include "render/ModelLoader.h"

#include "render/Model.h"

std::shared_ptr<Model> ModelLoader::loadModel(std::string) { return std::make_shared<Model>(std::vector<std::shared_ptr<Mesh>>()); }
std::vector<std::shared_ptr<Mesh>> ModelLoader::collectMeshes(const aiNode*, const aiScene*) { return {}; }
std::shared_ptr<Mesh> ModelLoader::convertMesh(const aiMesh*, const aiScene*) { return nullptr; }
std::vector<Texture> ModelLoader::loadTexturesOfType(const aiMaterial*, aiTextureType, std::string) { return {}; }
std::string ModelLoader::directoryOf(std::string) { return {}; }
GLuint ModelLoader::whiteTexture() { return 0; }
