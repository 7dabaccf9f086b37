#include "render/ModelLoader.h"

#include "render/Model.h"
#include "render/StbTexture.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <iostream>

namespace {

// Gives a mesh imported without normals its faces' own normals: every
// triangle gets three vertices of its own carrying the normal of its plane
// (counter-clockwise winding faces outwards), so it is shaded flat instead of
// receiving no light. A degenerate triangle keeps a zero normal.
void splitIntoFlatFaces(std::vector<Vertex>& vertices, std::vector<unsigned int>& indices)
{
    std::vector<Vertex> corners;
    corners.reserve(indices.size());
    for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
        Vertex a = vertices[indices[i]];
        Vertex b = vertices[indices[i + 1]];
        Vertex c = vertices[indices[i + 2]];
        const glm::vec3 cross = glm::cross(b.position - a.position, c.position - a.position);
        const float length = glm::length(cross);
        const glm::vec3 normal = length > 0.0f ? cross / length : glm::vec3(0.0f);
        a.normal = b.normal = c.normal = normal;
        corners.push_back(a);
        corners.push_back(b);
        corners.push_back(c);
    }
    vertices = std::move(corners);
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<unsigned int>(i);
}

// Assimp's aiString holds at most this many bytes, terminator included.
constexpr std::size_t assimpStringCapacity = 1024;

} // namespace

std::shared_ptr<Model> ModelLoader::loadModel(std::string path)
{
    this->path = path;
    // Some of Assimp's format readers keep state from one file to the next
    // inside an importer (its OpenGEX reader crashes on a camera-only file
    // read after another file), so each file gets an importer of its own.
    importer = std::make_unique<Assimp::Importer>();
    // aiProcess_Triangulate | aiProcess_FlipUVs (0x800008) and nothing else:
    // no generated normals, no joined vertices, no baked node transforms.
    const aiScene* scene = importer->ReadFile(path, aiProcess_Triangulate | aiProcess_FlipUVs);
    // An incomplete scene is refused whatever other flags come with it, and
    // so is one without meshes (a text file read as an empty OBJ, say).
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode || scene->mNumMeshes == 0) {
        // Assimp sets its error text only when it returns no scene. For a
        // scene it returns but flags incomplete (cameras or lights only) the
        // text is empty or left over from an earlier file, so the line names
        // the problem itself.
        std::cerr << "ERROR::ASSIMP:: "
                  << (scene ? "no complete scene with meshes in " + path : std::string(importer->GetErrorString()))
                  << std::endl;
        return std::make_shared<Model>(std::vector<std::shared_ptr<Mesh>>());
    }
    return std::make_shared<Model>(collectMeshes(scene->mRootNode, scene));
}

std::vector<std::shared_ptr<Mesh>> ModelLoader::collectMeshes(const aiNode* node, const aiScene* scene)
{
    std::vector<std::shared_ptr<Mesh>> meshes;
    for (unsigned int i = 0; i < node->mNumMeshes; ++i) {
        const unsigned int index = node->mMeshes[i];
        if (index < scene->mNumMeshes && scene->mMeshes[index])
            meshes.push_back(convertMesh(scene->mMeshes[index], scene));
    }
    for (unsigned int i = 0; i < node->mNumChildren; ++i) {
        if (!node->mChildren[i])
            continue;
        for (std::shared_ptr<Mesh>& mesh : collectMeshes(node->mChildren[i], scene))
            meshes.push_back(std::move(mesh));
    }
    return meshes;
}

std::shared_ptr<Mesh> ModelLoader::convertMesh(const aiMesh* mesh, const aiScene* scene)
{
    std::vector<Vertex> vertices;
    vertices.reserve(mesh->mNumVertices);
    const aiVector3D* uvs = mesh->mTextureCoords[0];
    for (unsigned int i = 0; i < mesh->mNumVertices; ++i) {
        Vertex vertex{};
        vertex.position = glm::vec3(mesh->mVertices[i].x, mesh->mVertices[i].y, mesh->mVertices[i].z);
        if (mesh->mNormals)
            vertex.normal = glm::vec3(mesh->mNormals[i].x, mesh->mNormals[i].y, mesh->mNormals[i].z);
        if (uvs)
            vertex.uv = glm::vec2(uvs[i].x, uvs[i].y);
        vertices.push_back(vertex);
    }

    // Only complete triangles whose corners all exist are kept: the draw call
    // reads the index list as triangles, so a point or line face would shift
    // every later triangle, and an index past the vertex list would read
    // outside the buffer.
    std::vector<unsigned int> indices;
    indices.reserve(static_cast<std::size_t>(mesh->mNumFaces) * 3);
    for (unsigned int f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices != 3 || !face.mIndices)
            continue;
        if (face.mIndices[0] >= mesh->mNumVertices || face.mIndices[1] >= mesh->mNumVertices ||
            face.mIndices[2] >= mesh->mNumVertices)
            continue;
        indices.insert(indices.end(), face.mIndices, face.mIndices + 3);
    }
    if (!mesh->mNormals)
        splitIntoFlatFaces(vertices, indices);

    std::vector<Texture> textures;
    if (mesh->mMaterialIndex < scene->mNumMaterials && scene->mMaterials[mesh->mMaterialIndex]) {
        const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
        auto append = [&textures](std::vector<Texture> more) {
            textures.insert(textures.end(), more.begin(), more.end());
        };
        append(loadTexturesOfType(material, aiTextureType_DIFFUSE, "texture_diffuse"));
        append(loadTexturesOfType(material, aiTextureType_SPECULAR, "texture_specular"));
        // The material's height slot holds normal maps and its ambient slot
        // height maps, as common exporters fill them.
        append(loadTexturesOfType(material, aiTextureType_HEIGHT, "texture_normal"));
        append(loadTexturesOfType(material, aiTextureType_AMBIENT, "texture_height"));
    }

    auto result = std::make_shared<Mesh>(std::move(vertices), std::move(indices), std::move(textures));
    if (result->getTextures().empty())
        result->setFallbackTexture(whiteTexture());
    return result;
}

std::vector<Texture> ModelLoader::loadTexturesOfType(const aiMaterial* material, aiTextureType type,
                                                     std::string typeName)
{
    std::vector<Texture> textures;
    for (unsigned int i = 0; i < aiGetMaterialTextureCount(material, type); ++i) {
        aiString name;
        if (aiGetMaterialTexture(material, type, i, &name, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr) != AI_SUCCESS)
            continue;
        auto image = std::make_shared<StbTexture>();
        const std::string full = texturePath(path, std::string(name.data, name.length));
        image->loadTexture2D(full.c_str());
        image->setWrapAndFilter(GL_CLAMP_TO_EDGE, GL_NEAREST);
        Texture texture;
        // A file that could not be decoded leaves a texture without image,
        // which samples black; the slot shows white instead (the failure has
        // been printed).
        texture.id = image->hasImage() ? image->getId() : whiteTexture();
        texture.type = typeName;
        textures.push_back(texture);
    }
    return textures;
}

std::string ModelLoader::directoryOf(std::string path)
{
    const std::size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos)
        return std::string();
    return path.substr(0, separator) + '/';
}

std::string ModelLoader::texturePath(const std::string& modelPath, const std::string& name)
{
    std::string full = directoryOf(modelPath);
    if (full.size() > assimpStringCapacity - 1)
        full.resize(assimpStringCapacity - 1);
    if (full.size() + name.size() < assimpStringCapacity)
        full += name;
    return full;
}

GLuint ModelLoader::whiteTexture()
{
    if (white == 0) {
        const unsigned char pixel[4] = {255, 255, 255, 255};
        glGenTextures(1, &white);
        glBindTexture(GL_TEXTURE_2D, white);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    return white;
}
