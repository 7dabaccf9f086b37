#include "render/AssimpConverter.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace {

glm::mat4 toGlm(const aiMatrix4x4& m)
{
    // Assimp stores rows, GLM columns.
    return glm::transpose(glm::make_mat4(&m.a1));
}

// Material colours come in two conventions. A PBR base colour (glTF's
// baseColorFactor) is linear by the format's definition, while the lit
// shader decodes every texel as sRGB: it is encoded here so that the shader
// gets the file's value back. A classic diffuse colour (OBJ's Kd, Collada,
// FBX, 3DS) is what the author picked on screen, the same kind of value as a
// texel of a painted texture, and is stored as it is.
unsigned char toByte(float value, bool linear)
{
    float c = std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 1.0f;
    if (linear)
        c = c <= 0.0031308f ? 12.92f * c : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f;
    return static_cast<unsigned char>(std::lround(c * 255.0f));
}

struct PositionKey {
    std::uint32_t bits[3];
    bool operator==(const PositionKey& other) const { return std::memcmp(bits, other.bits, sizeof bits) == 0; }
};

struct PositionHash {
    std::size_t operator()(const PositionKey& key) const
    {
        return (static_cast<std::size_t>(key.bits[0]) * 73856093u) ^ (static_cast<std::size_t>(key.bits[1]) * 19349663u) ^
               (static_cast<std::size_t>(key.bits[2]) * 83492791u);
    }
};

PositionKey keyOf(const glm::vec3& position)
{
    PositionKey key;
    for (int i = 0; i < 3; ++i) {
        const float value = position[i] + 0.0f; // -0 and +0 are one place
        std::memcpy(&key.bits[i], &value, 4);
    }
    return key;
}

bool usable(const glm::vec3& normal)
{
    return std::isfinite(normal.x) && std::isfinite(normal.y) && std::isfinite(normal.z) &&
           glm::dot(normal, normal) > 1e-12f;
}

// A vertex index with the normal it is given, to find the copy already made.
struct SplitKey {
    unsigned int vertex;
    PositionKey normal;
    bool operator==(const SplitKey& other) const { return vertex == other.vertex && normal == other.normal; }
};

struct SplitHash {
    std::size_t operator()(const SplitKey& key) const { return PositionHash()(key.normal) ^ (key.vertex * 2654435761u); }
};

} // namespace

bool AssimpConverter::convert(const std::string& path, ImportedModel& model, std::string& error)
{
    Assimp::Importer importer;
    // aiProcess_Triangulate | aiProcess_FlipUVs and nothing else: node
    // transforms and missing normals are handled below, where zero normals
    // and mirroring transforms can be dealt with too.
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_FlipUVs);
    // An incomplete scene is refused whatever other flags come with it, and
    // so is one without meshes (a text file read as an empty OBJ, say).
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode || scene->mNumMeshes == 0) {
        // Assimp sets its error text only when it returns no scene; for a
        // scene flagged incomplete (cameras or lights only) the line names the
        // problem itself.
        const std::string reason = importer.GetErrorString();
        error = scene || reason.empty() ? "no complete scene with meshes in " + path : reason;
        return false;
    }
    collectMeshes(scene->mRootNode, scene, aiMatrix4x4(), model);
    std::size_t triangles = 0;
    for (const ImportedMesh& mesh : model.meshes)
        triangles += mesh.indices.size() / 3;
    if (triangles == 0) {
        error = path + " holds no triangles, nothing to draw";
        model.meshes.clear();
        return false;
    }
    return true;
}

void AssimpConverter::collectMeshes(const aiNode* node, const aiScene* scene, const aiMatrix4x4& parentTransform,
                                    ImportedModel& model)
{
    const aiMatrix4x4 transform = parentTransform * node->mTransformation;
    for (unsigned int i = 0; i < node->mNumMeshes; ++i) {
        const unsigned int index = node->mMeshes[i];
        if (index < scene->mNumMeshes && scene->mMeshes[index])
            model.meshes.push_back(convertMesh(scene->mMeshes[index], scene, transform, model));
    }
    for (unsigned int i = 0; i < node->mNumChildren; ++i)
        if (node->mChildren[i])
            collectMeshes(node->mChildren[i], scene, transform, model);
}

ImportedMesh AssimpConverter::convertMesh(const aiMesh* mesh, const aiScene* scene, const aiMatrix4x4& transform,
                                          ImportedModel& model)
{
    ImportedMesh result;
    std::vector<Vertex>& vertices = result.vertices;
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
    std::vector<unsigned int>& indices = result.indices;
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
    generateNormals(vertices, indices, mesh->mNormals == nullptr);

    const glm::mat4 place = toGlm(transform);
    if (place != glm::mat4(1.0f)) {
        const glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(place)));
        for (Vertex& vertex : vertices) {
            vertex.position = glm::vec3(place * glm::vec4(vertex.position, 1.0f));
            const glm::vec3 normal = normalMatrix * vertex.normal;
            vertex.normal = usable(normal) ? glm::normalize(normal) : glm::vec3(0.0f);
        }
        // A mirroring transform turns counter-clockwise triangles clockwise;
        // swapping two corners keeps their front faces outside.
        if (glm::determinant(glm::mat3(place)) < 0.0f)
            for (std::size_t i = 0; i + 2 < indices.size(); i += 3)
                std::swap(indices[i + 1], indices[i + 2]);
    }

    if (mesh->mMaterialIndex < scene->mNumMaterials && scene->mMaterials[mesh->mMaterialIndex]) {
        const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
        auto append = [&result](std::vector<TextureReference> more) {
            result.textures.insert(result.textures.end(), more.begin(), more.end());
        };
        append(texturesOfType(material, aiTextureType_DIFFUSE, "texture_diffuse", scene, model));
        append(texturesOfType(material, aiTextureType_SPECULAR, "texture_specular", scene, model));
        // The material's height slot holds normal maps and its ambient slot
        // height maps, as common exporters fill them.
        append(texturesOfType(material, aiTextureType_HEIGHT, "texture_normal", scene, model));
        append(texturesOfType(material, aiTextureType_AMBIENT, "texture_height", scene, model));

        // The stand-in material Assimp makes for a file that has none keeps
        // the white of an unpainted model rather than Assimp's own grey.
        aiString name;
        const bool standIn = aiGetMaterialString(material, AI_MATKEY_NAME, &name) == AI_SUCCESS &&
                             std::strcmp(name.C_Str(), AI_DEFAULT_MATERIAL_NAME) == 0;
        aiColor4D color;
        if (!standIn && aiGetMaterialColor(material, AI_MATKEY_BASE_COLOR, &color) == AI_SUCCESS)
            result.color = {{toByte(color.r, true), toByte(color.g, true), toByte(color.b, true), 255}};
        else if (!standIn && aiGetMaterialColor(material, AI_MATKEY_COLOR_DIFFUSE, &color) == AI_SUCCESS)
            result.color = {{toByte(color.r, false), toByte(color.g, false), toByte(color.b, false), 255}};
    }
    return result;
}

std::vector<TextureReference> AssimpConverter::texturesOfType(const aiMaterial* material, aiTextureType type,
                                                              const std::string& typeName, const aiScene* scene,
                                                              ImportedModel& model)
{
    std::vector<TextureReference> textures;
    for (unsigned int i = 0; i < aiGetMaterialTextureCount(material, type); ++i) {
        aiString name;
        if (aiGetMaterialTexture(material, type, i, &name, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr) != AI_SUCCESS)
            continue;
        TextureReference texture;
        texture.type = typeName;
        texture.name.assign(name.data, name.length);
        // "*N" names the file's N-th embedded image; a plain name may also
        // be that of an image the file carries.
        texture.embedded = embeddedImage(scene->GetEmbeddedTexture(name.C_Str()), model);
        textures.push_back(texture);
    }
    return textures;
}

int AssimpConverter::embeddedImage(const aiTexture* texture, ImportedModel& model)
{
    if (!texture || !texture->pcData)
        return -1;
    const auto known = imageIndices.find(texture);
    if (known != imageIndices.end())
        return known->second;
    EmbeddedImage image;
    image.width = texture->mWidth;
    image.height = texture->mHeight;
    if (texture->mHeight == 0) {
        // A whole image file of mWidth bytes.
        image.bytes.assign(reinterpret_cast<const char*>(texture->pcData), texture->mWidth);
    } else {
        // Raw texels, stored by Assimp as b, g, r, a.
        const std::size_t count = static_cast<std::size_t>(texture->mWidth) * texture->mHeight;
        image.bytes.resize(count * 4);
        for (std::size_t i = 0; i < count; ++i) {
            const aiTexel& texel = texture->pcData[i];
            image.bytes[4 * i] = static_cast<char>(texel.r);
            image.bytes[4 * i + 1] = static_cast<char>(texel.g);
            image.bytes[4 * i + 2] = static_cast<char>(texel.b);
            image.bytes[4 * i + 3] = static_cast<char>(texel.a);
        }
    }
    const int index = static_cast<int>(model.images.size());
    model.images.push_back(std::move(image));
    imageIndices[texture] = index;
    return index;
}

void AssimpConverter::generateNormals(std::vector<Vertex>& vertices, std::vector<unsigned int>& indices, bool all)
{
    std::vector<char> needs(vertices.size(), 0);
    bool any = false;
    for (std::size_t v = 0; v < vertices.size(); ++v) {
        needs[v] = all || !usable(vertices[v].normal);
        any = any || needs[v];
    }
    if (!any)
        return;

    // Face normals, area-weighted (the cross product's length is twice the
    // area) and unit length, and the triangles around each position. Corners
    // are matched by position, not index, since many files repeat a vertex
    // for every face that meets there.
    const std::size_t triangles = indices.size() / 3;
    std::vector<glm::vec3> weighted(triangles);
    std::vector<glm::vec3> unit(triangles);
    std::unordered_map<PositionKey, std::vector<unsigned int>, PositionHash> around;
    for (std::size_t t = 0; t < triangles; ++t) {
        const glm::vec3& a = vertices[indices[3 * t]].position;
        const glm::vec3& b = vertices[indices[3 * t + 1]].position;
        const glm::vec3& c = vertices[indices[3 * t + 2]].position;
        weighted[t] = glm::cross(b - a, c - a);
        unit[t] = usable(weighted[t]) ? glm::normalize(weighted[t]) : glm::vec3(0.0f);
        for (int k = 0; k < 3; ++k)
            if (needs[indices[3 * t + k]])
                around[keyOf(vertices[indices[3 * t + k]].position)].push_back(static_cast<unsigned int>(t));
    }

    const float minimumCosine = std::cos(glm::radians(creaseAngleDegrees));
    std::vector<char> assigned(vertices.size(), 0);
    std::unordered_map<SplitKey, unsigned int, SplitHash> copies;
    for (std::size_t t = 0; t < triangles; ++t) {
        for (int k = 0; k < 3; ++k) {
            unsigned int& index = indices[3 * t + k];
            if (!needs[index])
                continue;
            glm::vec3 sum(0.0f);
            unsigned int last = ~0u;
            // A degenerate triangle has no direction of its own and takes the
            // smooth normal of everything around the corner.
            const bool directed = usable(unit[t]);
            for (unsigned int other : around[keyOf(vertices[index].position)]) {
                // A triangle with two corners at this position counts once.
                if (other != last && (!directed || glm::dot(unit[other], unit[t]) >= minimumCosine))
                    sum += weighted[other];
                last = other;
            }
            const glm::vec3 normal = usable(sum) ? glm::normalize(sum) : unit[t];
            // The first normal a vertex gets is written in place; a different
            // one in another triangle goes to a copy of the vertex.
            const SplitKey key{index, keyOf(normal)};
            const auto copy = copies.find(key);
            if (copy != copies.end()) {
                index = copy->second;
            } else if (!assigned[index]) {
                assigned[index] = 1;
                vertices[index].normal = normal;
                copies.emplace(key, index);
            } else {
                Vertex split = vertices[index];
                split.normal = normal;
                const unsigned int added = static_cast<unsigned int>(vertices.size());
                vertices.push_back(split);
                copies.emplace(key, added);
                index = added;
            }
        }
    }
}
