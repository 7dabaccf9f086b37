#include "import/AssimpConverter.h"

#include <assimp/GltfMaterial.h>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <stb_image.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <thread>

namespace fs = std::filesystem;

void (*AssimpConverter::progress)() = nullptr;

namespace {

// Assimp's aiString holds at most this many bytes, terminator included.
constexpr std::size_t assimpStringCapacity = 1024;

void tick()
{
    if (AssimpConverter::progress)
        AssimpConverter::progress();
}

bool isFile(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path.empty() ? fs::path(".") : fs::path(path), error);
}

std::string lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// An entry of `directory` ("" the working directory) whose name equals
// `name` but for case; empty when there is none.
std::string sameNameInAnyCase(const std::string& directory, const std::string& name)
{
    if (name.empty())
        return std::string();
    const std::string wanted = lowered(name);
    std::error_code error;
    for (fs::directory_iterator entry(directory.empty() ? fs::path(".") : fs::path(directory), error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string candidate = entry->path().filename().string();
        if (lowered(candidate) == wanted && isFile(directory + candidate))
            return directory + candidate;
    }
    return std::string();
}

// Keeps stb_image's pixels as the hand-over's texels, or none.
void takeTexels(unsigned char* data, int width, int height, DecodedImage& image)
{
    if (data && width > 0 && height > 0) {
        image.width = static_cast<unsigned int>(width);
        image.height = static_cast<unsigned int>(height);
        image.texels.assign(data, data + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    }
    stbi_image_free(data);
}

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

float linearOf(float display)
{
    const float c = std::isfinite(display) ? std::max(display, 0.0f) : 1.0f;
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

glm::vec3 linearOf(const aiColor4D& display) { return {linearOf(display.r), linearOf(display.g), linearOf(display.b)}; }

float finiteOr(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

bool hasProperty(const aiMaterial* material, const char* key, unsigned int type, unsigned int index)
{
    const aiMaterialProperty* property = nullptr;
    return aiGetMaterialProperty(material, key, type, index, &property) == AI_SUCCESS;
}

// Any unit vector at right angles to `n` (a unit vector).
glm::vec3 perpendicularTo(const glm::vec3& n)
{
    const glm::vec3 other = std::abs(n.x) < 0.9f ? glm::vec3(1, 0, 0) : glm::vec3(0, 1, 0);
    return glm::normalize(glm::cross(n, other));
}

struct PositionKey {
    std::uint32_t bits[3];
    bool operator==(const PositionKey& other) const { return std::memcmp(bits, other.bits, sizeof bits) == 0; }
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

// Runs body(begin, end) over [0, count) split among the machine's cores
// (at most four threads), or on the calling thread alone for small counts
// where starting threads costs more than it saves. The parts must not write
// to shared data.
template <typename Body>
void inParallel(std::size_t count, Body body)
{
    const std::size_t cores = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    const std::size_t parts = count < (1u << 16) ? 1 : cores;
    std::vector<std::thread> helpers;
    for (std::size_t part = 1; part < parts; ++part)
        helpers.emplace_back(body, count * part / parts, count * (part + 1) / parts);
    body(std::size_t(0), count / parts);
    for (std::thread& helper : helpers)
        helper.join();
}

std::string lowerExtension(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos)
        return std::string();
    std::string extension = path.substr(dot);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// The first node of each name (depth first, as Assimp finds bones' nodes)
// with its transform relative to the root's parent.
void collectNodeTransforms(const aiNode* node, const glm::mat4& parent, std::map<std::string, glm::mat4>& into)
{
    const glm::mat4 global = parent * toGlm(node->mTransformation);
    into.emplace(node->mName.C_Str(), global);
    for (unsigned int i = 0; i < node->mNumChildren; ++i)
        if (node->mChildren[i])
            collectNodeTransforms(node->mChildren[i], global, into);
}

} // namespace

namespace {

// Assimp's hook into its reading and post-processing steps.
class ImportProgress : public Assimp::ProgressHandler {
public:
    bool Update(float) override
    {
        tick();
        return true;
    }
};

} // namespace

bool AssimpConverter::convert(const std::string& path, ImportedModel& model, std::string& error)
{
    this->path = path;
    Assimp::Importer importer;
    // The importer owns and deletes its handler.
    importer.SetProgressHandler(new ImportProgress);
    // aiProcess_Triangulate | aiProcess_FlipUVs and nothing else: node
    // transforms and missing normals are handled below, where zero normals
    // and mirroring transforms can be dealt with too.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_FlipUVs);
    const auto read = Clock::now();
    readMs = std::chrono::duration<double, std::milli>(read - start).count();
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
    const std::string extension = lowerExtension(path);
    obj = extension == ".obj";
    ply = extension == ".ply";
    gltf = extension == ".gltf" || extension == ".glb";
    for (unsigned int i = 0; i < scene->mNumMaterials; ++i)
        gltf = gltf || (scene->mMaterials[i] && hasProperty(scene->mMaterials[i], AI_MATKEY_GLTF_ALPHAMODE));
    bool bones = false;
    for (unsigned int i = 0; i < scene->mNumMeshes; ++i)
        bones = bones || (scene->mMeshes[i] && scene->mMeshes[i]->mNumBones > 0);
    if (bones)
        collectNodeTransforms(scene->mRootNode, glm::mat4(1.0f), nodeTransforms);
    collectMeshes(scene->mRootNode, scene, aiMatrix4x4(), model);
    convertMs = std::chrono::duration<double, std::milli>(Clock::now() - read).count();
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
        if (index < scene->mNumMeshes && scene->mMeshes[index]) {
            model.meshes.push_back(convertMesh(scene->mMeshes[index], scene, transform, model));
            tick();
        }
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

    if (mesh->mMaterialIndex < scene->mNumMaterials && scene->mMaterials[mesh->mMaterialIndex])
        readMaterial(scene->mMaterials[mesh->mMaterialIndex], scene, model, result);
    Material& material = result.material;
    // A normal map needs texture coordinates to be read at.
    if (!uvs && material.has(NormalMap)) {
        material.features &= ~NormalMap;
        result.normalMap = TextureReference();
        result.imageChecks &= ~VerifyNormalMap;
    }

    // The file's per-vertex data, kept beside the vertices so that it
    // follows the copies normal generation makes.
    std::vector<glm::vec4>& colors = result.extras.colors;
    if (const aiColor4D* fileColors = mesh->mColors[0]) {
        material.features |= VertexColors;
        colors.reserve(mesh->mNumVertices);
        // glTF's COLOR_0 is linear; other formats store colours as they show
        // on screen.
        for (unsigned int i = 0; i < mesh->mNumVertices; ++i) {
            const aiColor4D& c = fileColors[i];
            const float alpha = std::clamp(finiteOr(c.a, 1.0f), 0.0f, 1.0f);
            colors.push_back(gltf ? glm::vec4(std::max(finiteOr(c.r, 1.0f), 0.0f), std::max(finiteOr(c.g, 1.0f), 0.0f),
                                              std::max(finiteOr(c.b, 1.0f), 0.0f), alpha)
                                  : glm::vec4(linearOf(c), alpha));
        }
    }
    const bool fileTangents = material.has(NormalMap) && mesh->mTangents && mesh->mBitangents && mesh->mNormals;
    std::vector<glm::vec4>& tangents = result.extras.tangents;
    if (fileTangents)
        for (unsigned int i = 0; i < mesh->mNumVertices; ++i) {
            const glm::vec3 n(mesh->mNormals[i].x, mesh->mNormals[i].y, mesh->mNormals[i].z);
            const glm::vec3 t(mesh->mTangents[i].x, mesh->mTangents[i].y, mesh->mTangents[i].z);
            const glm::vec3 b(mesh->mBitangents[i].x, mesh->mBitangents[i].y, mesh->mBitangents[i].z);
            tangents.emplace_back(t, glm::dot(glm::cross(n, t), b) < 0.0f ? -1.0f : 1.0f);
        }
    // Skinned vertices: the weighted sum of their bones' placing matrices.
    std::vector<glm::mat4> skin;
    std::vector<float> weights;
    if (mesh->mNumBones > 0 && mesh->mBones) {
        skin.assign(mesh->mNumVertices, glm::mat4(0.0f));
        weights.assign(mesh->mNumVertices, 0.0f);
        for (unsigned int b = 0; b < mesh->mNumBones; ++b) {
            const aiBone* bone = mesh->mBones[b];
            const auto node = bone ? nodeTransforms.find(bone->mName.C_Str()) : nodeTransforms.end();
            if (node == nodeTransforms.end() || !bone->mWeights)
                continue;
            const glm::mat4 boneMatrix = node->second * toGlm(bone->mOffsetMatrix);
            for (unsigned int w = 0; w < bone->mNumWeights; ++w) {
                const aiVertexWeight& weight = bone->mWeights[w];
                if (weight.mVertexId < mesh->mNumVertices && std::isfinite(weight.mWeight) && weight.mWeight > 0.0f) {
                    skin[weight.mVertexId] += weight.mWeight * boneMatrix;
                    weights[weight.mVertexId] += weight.mWeight;
                }
            }
        }
    }

    for (unsigned int source : generateNormals(vertices, indices, mesh->mNormals == nullptr)) {
        if (!colors.empty())
            colors.push_back(colors[source]);
        if (!tangents.empty())
            tangents.push_back(tangents[source]);
        if (!skin.empty()) {
            skin.push_back(skin[source]);
            weights.push_back(weights[source]);
        }
    }
    if (material.has(NormalMap) && !fileTangents)
        tangents = generateTangents(vertices, indices);

    // Vertices without weights stay where their node puts them; weighted
    // ones are placed by their bones alone, which already hold the node
    // tree's transforms.
    const glm::mat4 place = toGlm(transform);
    bool posed = false;
    for (std::size_t v = 0; v < skin.size(); ++v) {
        if (weights[v] > 0.0f) {
            skin[v] /= weights[v];
            posed = true;
        } else {
            skin[v] = place;
        }
    }
    if (!posed)
        skin.clear();
    if (!posed && place == glm::mat4(1.0f))
        return result;
    const glm::mat3 placeNormals = glm::transpose(glm::inverse(glm::mat3(place)));
    const float placeSign = glm::determinant(glm::mat3(place)) < 0.0f ? -1.0f : 1.0f;
    std::vector<float> signs(skin.size(), 1.0f);
    for (std::size_t v = 0; v < vertices.size(); ++v) {
        const glm::mat4& m = posed ? skin[v] : place;
        const glm::mat3 normalMatrix = posed ? glm::transpose(glm::inverse(glm::mat3(m))) : placeNormals;
        const float sign = posed ? (glm::determinant(glm::mat3(m)) < 0.0f ? -1.0f : 1.0f) : placeSign;
        if (posed)
            signs[v] = sign;
        Vertex& vertex = vertices[v];
        vertex.position = glm::vec3(m * glm::vec4(vertex.position, 1.0f));
        const glm::vec3 normal = normalMatrix * vertex.normal;
        vertex.normal = usable(normal) ? glm::normalize(normal) : glm::vec3(0.0f);
        if (!tangents.empty()) {
            // The tangent moves with the surface; kept at right angles to the
            // moved normal. A mirror turns the bitangent's side over.
            glm::vec3 t = glm::mat3(m) * glm::vec3(tangents[v]);
            t -= vertex.normal * glm::dot(vertex.normal, t);
            tangents[v] = glm::vec4(usable(t) ? glm::normalize(t) : perpendicularTo(vertex.normal), tangents[v].w * sign);
        }
    }
    // A mirroring transform turns counter-clockwise triangles clockwise;
    // swapping two corners keeps their front faces outside.
    for (std::size_t i = 0; i + 2 < indices.size(); i += 3)
        if ((posed ? signs[indices[i]] : placeSign) < 0.0f)
            std::swap(indices[i + 1], indices[i + 2]);
    return result;
}

void AssimpConverter::readMaterial(const aiMaterial* material, const aiScene* scene, ImportedModel& model,
                                   ImportedMesh& result)
{
    auto append = [&result](std::vector<TextureReference> more) {
        result.textures.insert(result.textures.end(), more.begin(), more.end());
    };
    const std::vector<TextureReference> diffuse =
        texturesOfType(material, aiTextureType_DIFFUSE, "texture_diffuse", scene, model);
    append(diffuse);
    append(texturesOfType(material, aiTextureType_SPECULAR, "texture_specular", scene, model));
    // The material's height slot holds normal maps and its ambient slot
    // height maps, as common exporters fill them.
    const std::vector<TextureReference> height =
        texturesOfType(material, aiTextureType_HEIGHT, "texture_normal", scene, model);
    append(height);
    append(texturesOfType(material, aiTextureType_AMBIENT, "texture_height", scene, model));
    const auto first = [&](aiTextureType type) {
        const std::vector<TextureReference> found = texturesOfType(material, type, "", scene, model);
        return found.empty() ? TextureReference() : found.front();
    };

    Material& m = result.material;
    // The stand-in material Assimp makes for a file that has none keeps
    // the white of an unpainted model rather than Assimp's own grey.
    aiString name;
    const bool standIn = aiGetMaterialString(material, AI_MATKEY_NAME, &name) == AI_SUCCESS &&
                         std::strcmp(name.C_Str(), AI_DEFAULT_MATERIAL_NAME) == 0;
    // A glTF base colour is linear light; a classic diffuse colour (OBJ's
    // Kd, Collada, FBX, 3DS) is what its author picked on screen, the same
    // kind of value as a texel of a painted texture.
    aiColor4D colour(1.0f, 1.0f, 1.0f, 1.0f);
    bool linear = false;
    bool stated = false;
    if (!standIn && aiGetMaterialColor(material, AI_MATKEY_BASE_COLOR, &colour) == AI_SUCCESS)
        linear = stated = true;
    else if (!standIn && aiGetMaterialColor(material, AI_MATKEY_COLOR_DIFFUSE, &colour) == AI_SUCCESS)
        stated = true;

    // Only the diffuse (base colour) image is the surface's colour.
    result.colorMap = diffuse.empty() ? first(aiTextureType_BASE_COLOR) : diffuse.front();
    const bool textured = !result.colorMap.name.empty();
    // OBJ's reader reports 0.6 grey for a material whose Kd is not written:
    // beside a map_Kd that value means "not stated", not a tint.
    if (textured && obj && colour.r == 0.6f && colour.g == 0.6f && colour.b == 0.6f)
        colour = aiColor4D(1.0f, 1.0f, 1.0f, colour.a);
    result.color = {{toByte(colour.r, linear), toByte(colour.g, linear), toByte(colour.b, linear), 255}};
    // Where the format multiplies the texture by the colour (glTF, and OBJ's
    // Kd beside map_Kd) the colour is the texture's factor.
    if (textured && gltf && linear)
        m.baseColorFactor = glm::vec4(finiteOr(colour.r, 1.0f), finiteOr(colour.g, 1.0f), finiteOr(colour.b, 1.0f), 1.0f);
    else if (textured && obj && stated)
        m.baseColorFactor = glm::vec4(linearOf(colour), 1.0f);
    m.baseColorFactor = glm::max(m.baseColorFactor, glm::vec4(0.0f));

    // Alpha. glTF says how with alphaMode (OPAQUE ignores every alpha);
    // other formats blend below an opacity of 1 or where the colour
    // texture has translucent texels.
    if (gltf) {
        aiString mode;
        if (aiGetMaterialString(material, AI_MATKEY_GLTF_ALPHAMODE, &mode) == AI_SUCCESS) {
            const float alpha = std::clamp(finiteOr(colour.a, 1.0f), 0.0f, 1.0f);
            if (std::strcmp(mode.C_Str(), "MASK") == 0) {
                m.features |= AlphaMask;
                m.baseColorFactor.a = alpha;
                float cutoff = 0.5f;
                aiGetMaterialFloat(material, AI_MATKEY_GLTF_ALPHACUTOFF, &cutoff);
                m.alphaCutoff = finiteOr(cutoff, 0.5f);
            } else if (std::strcmp(mode.C_Str(), "BLEND") == 0) {
                m.features |= AlphaBlend;
                m.baseColorFactor.a = alpha;
            }
        }
    } else {
        float opacity = 1.0f;
        // An opacity of exactly 0 would hide the whole surface; exporters
        // that write it mostly mean opaque (OBJ's d and Tr confused).
        if (aiGetMaterialFloat(material, AI_MATKEY_OPACITY, &opacity) == AI_SUCCESS && opacity > 0.0f &&
            opacity < 1.0f) {
            m.features |= AlphaBlend;
            m.baseColorFactor.a = opacity;
        }
        if (textured)
            result.imageChecks |= BlendTranslucentColor;
    }

    int twoSided = 0;
    if (aiGetMaterialInteger(material, AI_MATKEY_TWOSIDED, &twoSided) == AI_SUCCESS && twoSided != 0)
        m.features |= TwoSided;

    // Emission: the colour (linear for glTF, a display colour otherwise)
    // times the emissive texture. Outside glTF a texture with no colour
    // stated glows as it is.
    aiColor4D emissive(0.0f, 0.0f, 0.0f, 1.0f);
    aiGetMaterialColor(material, AI_MATKEY_COLOR_EMISSIVE, &emissive);
    glm::vec3 emission = gltf ? glm::vec3(finiteOr(emissive.r, 0.0f), finiteOr(emissive.g, 0.0f), finiteOr(emissive.b, 0.0f))
                              : linearOf(emissive);
    emission = glm::max(emission, glm::vec3(0.0f));
    const TextureReference emissiveMap = first(aiTextureType_EMISSIVE);
    if (!gltf && !emissiveMap.name.empty() && emission == glm::vec3(0.0f))
        emission = glm::vec3(1.0f);
    if (emission != glm::vec3(0.0f)) {
        m.features |= Emissive;
        m.emissiveFactor = emission;
        result.emissiveMap = emissiveMap;
    }

    // Normal maps: glTF's normalTexture with its scale; elsewhere the normals
    // slot, or the height slot where exporters put both bump and normal
    // maps, whose image must then prove to be a normal map.
    if (gltf) {
        result.normalMap = first(aiTextureType_NORMALS);
        float scale = 1.0f;
        aiGetMaterialFloat(material, AI_MATKEY_GLTF_TEXTURE_SCALE(aiTextureType_NORMALS, 0), &scale);
        m.normalScale = finiteOr(scale, 1.0f);
    } else {
        result.normalMap = first(aiTextureType_NORMALS);
        if (result.normalMap.name.empty() && !height.empty())
            result.normalMap = height.front();
        result.imageChecks |= result.normalMap.name.empty() ? 0u : VerifyNormalMap;
    }
    if (!result.normalMap.name.empty())
        m.features |= NormalMap;

    if (gltf) {
        // glTF materials are metallic-roughness unless they use the
        // specular-glossiness extension; both factors default to 1.
        if (!hasProperty(material, AI_MATKEY_GLOSSINESS_FACTOR)) {
            float metallic = 1.0f, roughness = 1.0f;
            aiGetMaterialFloat(material, AI_MATKEY_METALLIC_FACTOR, &metallic);
            aiGetMaterialFloat(material, AI_MATKEY_ROUGHNESS_FACTOR, &roughness);
            m.features |= MetalRoughness;
            m.metallic = std::clamp(finiteOr(metallic, 1.0f), 0.0f, 1.0f);
            m.roughness = std::clamp(finiteOr(roughness, 1.0f), 0.0f, 1.0f);
            result.metalRoughnessMap = first(aiTextureType_UNKNOWN);
        }
    } else {
        // Classic highlight: the specular colour (times the strength some
        // formats give) as stated, and the exponent. A specular colour of 0
        // with an exponent of 0 is what OBJ's and FBX's readers report when
        // the file states neither; that keeps the default highlight.
        aiColor4D specular;
        float shininess = 0.0f, strength = 1.0f;
        const bool hasShininess = aiGetMaterialFloat(material, AI_MATKEY_SHININESS, &shininess) == AI_SUCCESS;
        aiGetMaterialFloat(material, AI_MATKEY_SHININESS_STRENGTH, &strength);
        if (aiGetMaterialColor(material, AI_MATKEY_COLOR_SPECULAR, &specular) == AI_SUCCESS) {
            const glm::vec3 colour = glm::max(glm::vec3(finiteOr(specular.r, 0.0f), finiteOr(specular.g, 0.0f),
                                                        finiteOr(specular.b, 0.0f)) *
                                                  std::max(finiteOr(strength, 1.0f), 0.0f),
                                              glm::vec3(0.0f));
            // PLY's reader gives every material a white specular colour and
            // no exponent, whatever the file says.
            const bool nothingStated = (colour == glm::vec3(0.0f) && (!hasShininess || shininess == 0.0f)) ||
                                       (ply && colour == glm::vec3(1.0f) && !hasShininess);
            if (!nothingStated) {
                m.specularColor = colour;
                // An exponent below 1 is no Phong exponent (some exporters
                // write a 0..1 glossiness there) and would light the whole
                // surface: it keeps the default, as an unstated one does.
                if (hasShininess && std::isfinite(shininess) && shininess >= 1.0f)
                    m.shininess = std::min(shininess, 4096.0f);
            }
        }
        if (m.specularColor != Material().specularColor || m.shininess != Material().shininess)
            m.features |= ClassicSpecular;
    }
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
        texture.image = imageOf(name, scene, model);
        textures.push_back(texture);
    }
    return textures;
}

int AssimpConverter::imageOf(const aiString& name, const aiScene* scene, ImportedModel& model)
{
    const aiTexture* texture = scene->GetEmbeddedTexture(name.C_Str());
    if (texture && texture->pcData) {
        const auto known = embeddedImages.find(texture);
        if (known != embeddedImages.end())
            return known->second;
        DecodedImage image;
        image.label = std::string(name.data, name.length) + " in " + path;
        if (texture->mHeight == 0) {
            // A whole image file of mWidth bytes.
            int width = 0, height = 0, channels = 0;
            const int size = static_cast<int>(std::min<unsigned int>(texture->mWidth, 0x7fffffff));
            unsigned char* texels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(texture->pcData), size,
                                                          &width, &height, &channels, 4);
            takeTexels(texels, width, height, image);
        } else {
            // Raw texels, stored by Assimp as b, g, r, a.
            const std::size_t count = static_cast<std::size_t>(texture->mWidth) * texture->mHeight;
            image.width = texture->mWidth;
            image.height = texture->mHeight;
            image.texels.resize(count * 4);
            for (std::size_t i = 0; i < count; ++i) {
                const aiTexel& texel = texture->pcData[i];
                image.texels[4 * i] = texel.r;
                image.texels[4 * i + 1] = texel.g;
                image.texels[4 * i + 2] = texel.b;
                image.texels[4 * i + 3] = texel.a;
            }
        }
        const int index = static_cast<int>(model.images.size());
        model.images.push_back(std::move(image));
        embeddedImages[texture] = index;
        tick();
        return index;
    }
    const std::string file = fs::path(findTexture(path, std::string(name.data, name.length))).lexically_normal().string();
    const auto known = fileImages.find(file);
    if (known != fileImages.end())
        return known->second;
    DecodedImage image;
    image.file = file;
    int width = 0, height = 0, channels = 0;
    unsigned char* texels = stbi_load(file.c_str(), &width, &height, &channels, 4);
    takeTexels(texels, width, height, image);
    const int index = static_cast<int>(model.images.size());
    model.images.push_back(std::move(image));
    fileImages[file] = index;
    tick();
    return index;
}

std::string AssimpConverter::directoryOf(const std::string& path)
{
    const std::size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos)
        return std::string();
    return path.substr(0, separator) + '/';
}

std::string AssimpConverter::texturePath(const std::string& modelPath, const std::string& name)
{
    std::string full = directoryOf(modelPath);
    if (full.size() > assimpStringCapacity - 1)
        full.resize(assimpStringCapacity - 1);
    if (full.size() + name.size() < assimpStringCapacity)
        full += name;
    return full;
}

std::string AssimpConverter::findTexture(const std::string& modelPath, const std::string& name)
{
    // Files written on Windows name their textures with '\\' separators
    // (".\\wood.jpg", "D:\\work\\wood.jpg").
    std::string forward = name;
    std::replace(forward.begin(), forward.end(), '\\', '/');
    const std::string joined = texturePath(modelPath, forward);
    if (isFile(joined))
        return joined;
    const std::string inAnyCase = sameNameInAnyCase(directoryOf(joined), joined.substr(directoryOf(joined).size()));
    if (!inAnyCase.empty())
        return inAnyCase;
    const std::string bare = forward.substr(directoryOf(forward).size());
    const std::string modelDirectory = directoryOf(modelPath);
    if (isFile(modelDirectory + bare))
        return modelDirectory + bare;
    const std::string bareInAnyCase = sameNameInAnyCase(modelDirectory, bare);
    return bareInAnyCase.empty() ? joined : bareInAnyCase;
}

std::vector<unsigned int> AssimpConverter::generateNormals(std::vector<Vertex>& vertices,
                                                           std::vector<unsigned int>& indices, bool all)
{
    std::vector<unsigned int> sources;
    const std::size_t vertexCount = vertices.size();
    std::vector<char> needs(vertexCount, 0);
    std::size_t needing = 0;
    for (std::size_t v = 0; v < vertexCount; ++v) {
        needs[v] = all || !usable(vertices[v].normal);
        needing += needs[v] ? 1 : 0;
    }
    if (needing == 0)
        return sources;

    // Face normals, area-weighted (the cross product's length is twice the
    // area) and unit length, side by side so that one cache line brings both.
    struct Face {
        glm::vec3 weighted;
        glm::vec3 unit;
    };
    const std::size_t triangles = indices.size() / 3;
    std::vector<Face> faces(triangles);
    inParallel(triangles, [&](std::size_t begin, std::size_t end) {
        for (std::size_t t = begin; t < end; ++t) {
            const glm::vec3& a = vertices[indices[3 * t]].position;
            const glm::vec3& b = vertices[indices[3 * t + 1]].position;
            const glm::vec3& c = vertices[indices[3 * t + 2]].position;
            faces[t].weighted = glm::cross(b - a, c - a);
            faces[t].unit = usable(faces[t].weighted) ? glm::normalize(faces[t].weighted) : glm::vec3(0.0f);
        }
    });

    // Corners are matched by position, not index, since many files repeat a
    // vertex for every face that meets there. Each vertex that needs a normal
    // is mapped to the first vertex at its position (its `place`) through a
    // flat open-addressing table of position bits: one probe sequence per
    // vertex, no allocation per vertex, and places numbered in vertex order
    // so that the lists below are read in the order the triangles use them.
    std::vector<unsigned int> place(vertexCount, ~0u);
    {
        struct Slot {
            PositionKey key;
            unsigned int vertex;
        };
        std::size_t capacity = 16;
        while (capacity < needing + needing / 2)
            capacity *= 2;
        std::vector<Slot> table(capacity, Slot{{{0, 0, 0}}, ~0u});
        const std::size_t mask = capacity - 1;
        for (std::size_t v = 0; v < vertexCount; ++v) {
            if (!needs[v])
                continue;
            const PositionKey key = keyOf(vertices[v].position);
            // FNV-1a over the three words, then a final mix so that nearby
            // floats spread over the table.
            std::uint64_t hash = 1469598103934665603ull;
            for (std::uint32_t word : key.bits)
                hash = (hash ^ word) * 1099511628211ull;
            hash ^= hash >> 29;
            std::size_t slot = static_cast<std::size_t>(hash) & mask;
            while (table[slot].vertex != ~0u && !(table[slot].key == key))
                slot = (slot + 1) & mask;
            if (table[slot].vertex == ~0u)
                table[slot] = Slot{key, static_cast<unsigned int>(v)};
            place[v] = table[slot].vertex;
        }
    }

    // The triangles around each place in one flat array, in triangle order:
    // place p's from aroundStart[p] to aroundStart[p + 1]. Filled from the
    // last triangle backwards, counting each start down to its final value.
    std::vector<unsigned int> aroundStart(vertexCount + 1, 0);
    // A needing vertex that some triangle uses is marked 2 on the way.
    for (unsigned int index : indices)
        if (needs[index]) {
            ++aroundStart[place[index]];
            needs[index] = 2;
        }
    for (std::size_t p = 0; p < vertexCount; ++p)
        aroundStart[p + 1] += aroundStart[p];
    std::vector<unsigned int> around(aroundStart[vertexCount]);
    for (std::size_t t = triangles; t-- > 0;)
        for (int k = 3; k-- > 0;) {
            const unsigned int index = indices[3 * t + k];
            if (needs[index])
                around[--aroundStart[place[index]]] = static_cast<unsigned int>(t);
        }
    // aroundStart[p] now holds p's start, and aroundStart[p + 1] its end.

    const float minimumCosine = std::cos(glm::radians(creaseAngleDegrees));
    // The normal of a corner in triangle t: the sum of the weighted normals
    // of the triangles around its place that lie within the crease angle of
    // t (all of them when t is degenerate and has no direction of its own).
    const auto cornerNormal = [&](std::size_t t, unsigned int p) {
        glm::vec3 sum(0.0f);
        unsigned int last = ~0u;
        const glm::vec3 own = faces[t].unit;
        const bool directed = usable(own);
        for (unsigned int i = aroundStart[p], end = aroundStart[p + 1]; i < end; ++i) {
            const unsigned int other = around[i];
            // A triangle with two corners at this position counts once.
            if (other != last && (!directed || glm::dot(faces[other].unit, own) >= minimumCosine))
                sum += faces[other].weighted;
            last = other;
        }
        return usable(sum) ? glm::normalize(sum) : own;
    };

    // Most places lie on a smooth stretch of surface: every pair of
    // triangles around them is within the crease angle, so every corner
    // there sums all of them and gets one normal. Such places are found
    // first, in parallel, and their normal computed once (in the same order
    // of addition as cornerNormal, so with the same bits); `smooth` is
    // marked with a non-finite x elsewhere, where each corner gets its own.
    constexpr float cornerByCorner = std::numeric_limits<float>::infinity();
    std::vector<glm::vec3> smooth(vertexCount, glm::vec3(cornerByCorner));
    inParallel(vertexCount, [&](std::size_t begin, std::size_t end) {
        std::vector<glm::vec3> units;
        for (std::size_t p = begin; p < end; ++p) {
            const unsigned int first = aroundStart[p], past = aroundStart[p + 1];
            if (first == past)
                continue;
            units.clear();
            glm::vec3 sum(0.0f);
            unsigned int last = ~0u;
            bool degenerate = false;
            for (unsigned int i = first; i < past; ++i) {
                const unsigned int other = around[i];
                if (other != last) {
                    sum += faces[other].weighted;
                    units.push_back(faces[other].unit);
                    degenerate = degenerate || !usable(faces[other].unit);
                }
                last = other;
            }
            if (degenerate || !usable(sum))
                continue;
            bool together = true;
            for (std::size_t a = 0; a < units.size() && together; ++a)
                for (std::size_t b = a + 1; b < units.size() && together; ++b)
                    together = glm::dot(units[b], units[a]) >= minimumCosine;
            if (together)
                smooth[p] = glm::normalize(sum);
        }
    });

    // A vertex at a smooth place has that place's normal in every triangle
    // it is a corner of: written in place here, in parallel, and passed over
    // by the corner loop below. A vertex no triangle uses keeps its own.
    inParallel(vertexCount, [&](std::size_t begin, std::size_t end) {
        for (std::size_t v = begin; v < end; ++v)
            if (needs[v] == 2 && std::isfinite(smooth[place[v]].x))
                vertices[v].normal = smooth[place[v]];
    });

    // Corner by corner, in triangle order, at the other places. The normals
    // each original vertex has been given there, as chains through
    // `given`: the vertex carrying that normal (itself or a copy) and the
    // next entry of the chain.
    struct Given {
        PositionKey normal;
        unsigned int vertex;
        unsigned int next;
    };
    std::vector<Given> given;
    given.reserve(needing);
    std::vector<unsigned int> firstGiven(vertexCount, ~0u);

    for (std::size_t t = 0; t < triangles; ++t) {
        if (t % (1u << 20) == 0)
            tick();
        for (int k = 0; k < 3; ++k) {
            unsigned int& index = indices[3 * t + k];
            if (!needs[index] || std::isfinite(smooth[place[index]].x))
                continue;
            const glm::vec3 normal = cornerNormal(t, place[index]);
            // The first normal a vertex gets is written in place; a different
            // one in another triangle goes to a copy of the vertex.
            const PositionKey normalKey = keyOf(normal);
            unsigned int found = firstGiven[index];
            while (found != ~0u && !(given[found].normal == normalKey))
                found = given[found].next;
            if (found != ~0u) {
                index = given[found].vertex;
                continue;
            }
            unsigned int carrier = index;
            if (firstGiven[index] == ~0u) {
                vertices[index].normal = normal;
            } else {
                Vertex split = vertices[index];
                split.normal = normal;
                carrier = static_cast<unsigned int>(vertices.size());
                vertices.push_back(split);
                sources.push_back(index);
            }
            given.push_back({normalKey, carrier, firstGiven[index]});
            firstGiven[index] = static_cast<unsigned int>(given.size() - 1);
            index = carrier;
        }
    }
    return sources;
}

std::vector<glm::vec4> AssimpConverter::generateTangents(const std::vector<Vertex>& vertices,
                                                         const std::vector<unsigned int>& indices)
{
    // Per triangle, the surface directions in which u and the image's "up"
    // grow: solving e1 = du1 T + dv1 B, e2 = du2 T + dv2 B with v measured
    // upwards (1 - v, since v = 0 is the top row). Summed over the triangles
    // around a vertex, weighted by their size in space.
    std::vector<glm::vec3> alongU(vertices.size(), glm::vec3(0.0f));
    std::vector<glm::vec3> upImage(vertices.size(), glm::vec3(0.0f));
    for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
        const Vertex& a = vertices[indices[i]];
        const Vertex& b = vertices[indices[i + 1]];
        const Vertex& c = vertices[indices[i + 2]];
        const glm::vec3 e1 = b.position - a.position, e2 = c.position - a.position;
        const float du1 = b.uv.x - a.uv.x, du2 = c.uv.x - a.uv.x;
        const float dv1 = a.uv.y - b.uv.y, dv2 = a.uv.y - c.uv.y;
        const float det = du1 * dv2 - du2 * dv1;
        if (!std::isfinite(det) || std::abs(det) < 1e-12f)
            continue;
        const glm::vec3 t = (e1 * dv2 - e2 * dv1) / det;
        const glm::vec3 up = (e2 * du1 - e1 * du2) / det;
        if (!usable(t) || !usable(up))
            continue;
        for (int k = 0; k < 3; ++k) {
            alongU[indices[i + k]] += t;
            upImage[indices[i + k]] += up;
        }
    }
    std::vector<glm::vec4> tangents;
    tangents.reserve(vertices.size());
    for (std::size_t v = 0; v < vertices.size(); ++v) {
        const glm::vec3& n = vertices[v].normal;
        if (!usable(n)) {
            tangents.emplace_back(1.0f, 0.0f, 0.0f, 1.0f);
            continue;
        }
        glm::vec3 t = alongU[v] - n * glm::dot(n, alongU[v]);
        t = usable(t) ? glm::normalize(t) : perpendicularTo(n);
        tangents.emplace_back(t, glm::dot(glm::cross(n, t), upImage[v]) < 0.0f ? -1.0f : 1.0f);
    }
    return tangents;
}
