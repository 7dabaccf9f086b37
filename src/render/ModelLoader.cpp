#include "render/ModelLoader.h"

#include "render/Model.h"
#include "render/StbTexture.h"

#include <chrono>
#include <iostream>

namespace {

// Model textures are sampled with up to this many anisotropic taps.
constexpr float textureAnisotropy = 8.0f;

} // namespace

std::vector<ModelLoader::LoadRecord>& ModelLoader::loadRecords()
{
    static std::vector<LoadRecord> records;
    return records;
}

void ModelLoader::prefetch(const std::vector<std::string>& paths)
{
    // Each distinct file once, dealt to the import processes in turn, so
    // that the files the viewer asks for in this order come from each
    // process in its own order.
    std::vector<std::vector<std::string>> shares(batches.size());
    std::size_t distinct = 0;
    for (const std::string& announced : paths)
        if (remaining[announced]++ == 0)
            shares[distinct++ % batches.size()].push_back(announced);
    for (std::size_t i = 0; i < batches.size(); ++i)
        if (!shares[i].empty())
            batches[i].start(shares[i]);
}

std::shared_ptr<Model> ModelLoader::loadModel(std::string path)
{
    this->path = path;
    // The model's hand-over memory stays mapped while its meshes upload
    // from it, and while a later model of the same file still needs it.
    std::shared_ptr<const MappedModel> imported;
    std::string error;
    bool ok = true;
    const auto repeat = repeats.find(path);
    // The viewer never opens a model file: a path whose open blocks (a FIFO,
    // a stalled network mount) would stop it for good. The import process
    // opens it, watched by its stall limit.
    if (repeat != repeats.end()) {
        imported = repeat->second;
    } else {
        // After a crash the files behind the one that crashed go to a new
        // child.
        ImportProcess* owner = nullptr;
        for (ImportProcess& batch : batches) {
            if (!batch.running() && !batch.upcoming().empty())
                batch.start(batch.rest());
            if (batch.upcoming() == path)
                owner = &batch;
        }
        auto received = std::make_shared<MappedModel>();
        ImportProcess::Timings timings;
        if (owner) {
            ok = owner->next(*received, error);
            timings = owner->lastTimings();
        } else {
            // Not announced, or asked for out of turn: a child of its own.
            ImportProcess single;
            single.start({path});
            ok = single.next(*received, error);
            timings = single.lastTimings();
        }
        imported = std::move(received);
        if (ok)
            loadRecords().push_back(
                LoadRecord{path, timings.readMs, timings.convertMs, timings.handOverMs, 0.0, 0, timings.childPeakKiB});
    }
    const auto left = remaining.find(path);
    if (left != remaining.end() && --left->second <= 0) {
        remaining.erase(left);
        repeats.erase(path);
    } else if (left != remaining.end() && ok && !repeats.count(path)) {
        repeats.emplace(path, imported);
    }

    if (!ok) {
        std::cerr << "ERROR::ASSIMP:: " << error << std::endl;
        return std::make_shared<Model>(std::vector<std::shared_ptr<Mesh>>());
    }
    const bool recorded = repeat == repeats.end() && !loadRecords().empty() && loadRecords().back().path == path;
    const auto start = std::chrono::steady_clock::now();
    std::size_t triangles = 0;
    std::vector<std::shared_ptr<Mesh>> meshes;
    meshes.reserve(imported->meshes.size());
    for (const MappedMesh& mesh : imported->meshes) {
        triangles += mesh.indices.size / 3;
        meshes.push_back(makeMesh(mesh, *imported));
    }
    if (recorded) {
        loadRecords().back().uploadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        loadRecords().back().triangles = triangles;
    }
    return std::make_shared<Model>(std::move(meshes));
}

std::shared_ptr<Mesh> ModelLoader::makeMesh(const MappedMesh& mesh, const MappedModel& model)
{
    const GLuint white = colorTexture({{255, 255, 255, 255}});
    const GLuint ownColour = colorTexture(mesh.color);
    Material material = mesh.material;
    // Straight from the hand-over memory, which the reader has checked.
    MeshArrays arrays{mesh.vertices.data, mesh.vertices.size, mesh.indices.data, mesh.indices.size,
                      mesh.colors.empty() ? nullptr : mesh.colors.data,
                      mesh.tangents.empty() ? nullptr : mesh.tangents.data};

    // The colour: the diffuse image, or the material's colour when it has
    // none or it cannot be decoded (then nothing multiplies that colour).
    material.colorTexture = ownColour;
    if (!mesh.colorMap.name.empty()) {
        const LoadedImage& image = loadImage(mesh.colorMap, model);
        if (image.id != 0) {
            material.colorTexture = image.id;
            if ((mesh.imageChecks & BlendTranslucentColor) && image.translucent)
                material.features |= AlphaBlend;
        } else {
            material.baseColorFactor = glm::vec4(glm::vec3(1.0f), material.baseColorFactor.a);
        }
    }
    if (material.has(NormalMap)) {
        const LoadedImage& image = loadImage(mesh.normalMap, model);
        const bool verified = !(mesh.imageChecks & VerifyNormalMap) || image.normalMap;
        if (image.id != 0 && verified) {
            material.normalTexture = image.id;
        } else {
            material.features &= ~NormalMap;
            arrays.tangents = nullptr;
        }
    }
    // An emissive image that cannot be decoded lights nothing, rather than
    // the whole surface.
    if (material.has(Emissive)) {
        material.emissiveTexture = mesh.emissiveMap.name.empty() ? white : loadImage(mesh.emissiveMap, model).id;
        if (material.emissiveTexture == 0)
            material.features &= ~Emissive;
    }
    if (material.has(MetalRoughness)) {
        const GLuint map = mesh.metalRoughnessMap.name.empty() ? 0 : loadImage(mesh.metalRoughnessMap, model).id;
        material.metalRoughnessTexture = map != 0 ? map : white;
    }

    // The material's texture list, in its order; an image that cannot be
    // decoded stands as white (the colour texture above says what shows).
    std::vector<Texture> textures;
    for (const TextureReference& reference : mesh.textures) {
        const GLuint id = loadImage(reference, model).id;
        textures.push_back(Texture{id != 0 ? id : white, reference.type});
    }
    return std::make_shared<Mesh>(arrays, std::move(textures), material);
}

const ModelLoader::LoadedImage& ModelLoader::loadImage(const TextureReference& reference, const MappedModel& model)
{
    static const LoadedImage none;
    if (reference.image < 0)
        return none;
    const MappedImage& decoded = model.images[static_cast<std::size_t>(reference.image)];
    const auto key = decoded.file.empty() ? std::make_pair(path, reference.image) : std::make_pair(decoded.file, -1);
    const auto known = images.find(key);
    if (known != images.end())
        return known->second;
    LoadedImage loaded;
    if (decoded.texels.empty()) {
        std::cout << "Failed to load texture " << (decoded.file.empty() ? decoded.label : decoded.file) << std::endl;
    } else {
        auto image = std::make_shared<StbTexture>();
        image->loadTexture2DFromPixels(static_cast<int>(decoded.width), static_cast<int>(decoded.height),
                                       decoded.texels.data);
        // Texture coordinates beyond 0..1 tile the image, and minified texels
        // are filtered through the mipmaps (trilinear, anisotropic where
        // offered) so that distant and slanted surfaces do not shimmer.
        image->setWrapAndFilter(GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
        image->setMaxAnisotropy(textureAnisotropy);
        loaded = LoadedImage{image->getId(), image->hasTranslucentTexels(), image->looksLikeNormalMap()};
    }
    return images.emplace(key, loaded).first->second;
}

GLuint ModelLoader::colorTexture(const std::array<unsigned char, 4>& rgba)
{
    const std::uint32_t key = static_cast<std::uint32_t>(rgba[0]) << 24 | static_cast<std::uint32_t>(rgba[1]) << 16 |
                              static_cast<std::uint32_t>(rgba[2]) << 8 | rgba[3];
    GLuint& texture = colorTextures[key];
    if (texture == 0) {
        auto image = std::make_shared<StbTexture>();
        image->loadTexture2DFromPixels(1, 1, rgba.data());
        image->setWrapAndFilter(GL_CLAMP_TO_EDGE, GL_NEAREST, GL_NEAREST);
        texture = image->getId();
    }
    return texture;
}
