#include "import/MappedModel.h"

#include "import/HandOverFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>

namespace {

using namespace handover;

bool finite(const glm::vec4& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w); }

// Reads fields off the front of the bytes; once a read fails every later
// one fails too, so callers check `ok` at the end of a record.
class Reader {
public:
    Reader(const char* bytes, std::size_t size) : start(bytes), data(bytes), left(size) {}

    bool ok = true;

    std::uint32_t u32()
    {
        std::uint32_t value = 0;
        take(&value, 4);
        return value;
    }
    // A count of items of `itemSize` bytes each that must still fit in the
    // bytes left; a larger count fails the read and gives 0.
    std::size_t count(std::size_t itemSize)
    {
        const std::size_t n = u32();
        if (!ok || n > left / itemSize) {
            ok = false;
            return 0;
        }
        return n;
    }
    void take(void* out, std::size_t size)
    {
        const char* from = skip(size);
        // An empty vector may have no storage at all.
        if (from && size > 0)
            std::memcpy(out, from, size);
    }
    float f32()
    {
        float value = 0;
        take(&value, 4);
        return value;
    }
    void reference(TextureReference& texture)
    {
        texture.type = text();
        texture.name = text();
        texture.image = static_cast<int>(u32());
    }
    std::string text()
    {
        const std::size_t size = count(1);
        std::string value(size, '\0');
        take(value.data(), size);
        return value;
    }
    // A length-prefixed, aligned array of trivially copyable items, left
    // where it lies. The padding must be zeros.
    template <typename T> ArrayView<T> array()
    {
        const std::size_t size = count(1);
        const char* padding = skip(paddingAt(static_cast<std::size_t>(data - start)));
        if (padding)
            for (const char* p = padding; p != data; ++p)
                ok = ok && *p == 0;
        if (size % sizeof(T) != 0)
            ok = false;
        const char* items = skip(size);
        if (!ok || !items)
            return ArrayView<T>();
        return ArrayView<T>{reinterpret_cast<const T*>(items), size / sizeof(T)};
    }
    bool atEnd() const { return ok && left == 0; }

private:
    // The next `size` bytes, or null (and the read failed) when fewer are
    // left.
    const char* skip(std::size_t size)
    {
        if (!ok || size > left) {
            ok = false;
            return nullptr;
        }
        const char* from = data;
        data += size;
        left -= size;
        return from;
    }

    const char* start;
    const char* data;
    std::size_t left;
};

template <typename T> std::vector<T> copyOf(const ArrayView<T>& view) { return std::vector<T>(view.begin(), view.end()); }

} // namespace

MappedModel::~MappedModel() { release(); }

void MappedModel::release()
{
    meshes.clear();
    images.clear();
    if (mapping)
        munmap(mapping, size);
    mapping = nullptr;
    copied.reset();
    bytes = nullptr;
    size = 0;
}

bool MappedModel::read(const std::string& from, std::string& error)
{
    release();
    // Heap storage of max_align_t is aligned as a mapping's start is, for
    // the arrays read in place.
    copied.reset(new std::max_align_t[from.size() / sizeof(std::max_align_t) + 1]);
    std::memcpy(copied.get(), from.data(), from.size());
    bytes = reinterpret_cast<const char*>(copied.get());
    size = from.size();
    return readBytes(error);
}

bool MappedModel::readMapping(void* address, std::size_t length, std::string& error)
{
    release();
    mapping = address;
    bytes = static_cast<const char*>(address);
    size = length;
    return readBytes(error);
}

bool MappedModel::readBytes(std::string& error)
{
    const auto damaged = [&] {
        error = "the import process sent a damaged model";
        release();
        return false;
    };
    Reader in(bytes, size);
    char head[sizeof magic] = {};
    in.take(head, sizeof head);
    if (!in.ok || std::memcmp(head, magic, sizeof magic) != 0) {
        error = "the import process sent no model";
        release();
        return false;
    }
    // The arrays are used in place, so their alignment counts from an
    // aligned start.
    if (reinterpret_cast<std::uintptr_t>(bytes) % arrayAlignment != 0)
        return damaged();
    // An encoded mesh takes at least 140 bytes (five lengths and counts, a
    // colour, four map references, two flag words, the material's 15
    // floats and two more lengths), a texture reference at least 12 and an
    // image 20: that bounds the counts by the bytes left.
    meshes.resize(in.count(140));
    for (MappedMesh& mesh : meshes) {
        mesh.vertices = in.array<Vertex>();
        mesh.indices = in.array<unsigned int>();
        in.take(mesh.color.data(), 4);
        mesh.textures.resize(in.count(12));
        for (TextureReference& texture : mesh.textures)
            in.reference(texture);
        for (TextureReference* map : {&mesh.colorMap, &mesh.normalMap, &mesh.emissiveMap, &mesh.metalRoughnessMap})
            in.reference(*map);
        mesh.material.features = in.u32();
        mesh.imageChecks = in.u32();
        for (float* value : materialFloats(mesh.material))
            *value = in.f32();
        mesh.colors = in.array<glm::vec4>();
        mesh.tangents = in.array<glm::vec4>();
        if (!in.ok)
            break;
    }
    images.resize(in.count(20));
    for (MappedImage& image : images) {
        image.file = in.text();
        image.label = in.text();
        image.width = in.u32();
        image.height = in.u32();
        image.texels = in.array<unsigned char>();
        if (!in.ok)
            break;
    }
    if (!in.atEnd())
        return damaged();
    // References must stay inside what arrived: indices inside each vertex
    // list, images inside the image list, texels complete;
    // per-vertex data one per vertex and there exactly when its feature is
    // on; only known flags and finite factors.
    const auto inImages = [this](const TextureReference& texture) {
        return texture.image >= -1 && texture.image < static_cast<int>(images.size());
    };
    for (const MappedMesh& mesh : meshes) {
        const std::size_t vertexCount = mesh.vertices.size;
        // One pass with no early exit: the loop stays simple enough to be
        // vectorised, which counts for arrays of many millions.
        unsigned int outside = 0;
        for (unsigned int index : mesh.indices)
            outside |= index >= vertexCount ? 1u : 0u;
        if (outside != 0 || mesh.indices.size % 3 != 0)
            in.ok = false;
        for (const TextureReference& texture : mesh.textures)
            in.ok = in.ok && inImages(texture);
        for (const TextureReference* map : {&mesh.colorMap, &mesh.normalMap, &mesh.emissiveMap, &mesh.metalRoughnessMap})
            in.ok = in.ok && inImages(*map);
        const Material& material = mesh.material;
        if ((material.features & ~knownMaterialFeatures) != 0 || (mesh.imageChecks & ~knownImageChecks) != 0)
            in.ok = false;
        for (const float* value : materialFloats(material))
            in.ok = in.ok && std::isfinite(*value);
        const auto perVertex = [&mesh, vertexCount](const ArrayView<glm::vec4>& values, MaterialFeature feature) {
            return values.size == (mesh.material.has(feature) ? vertexCount : 0) &&
                   std::all_of(values.begin(), values.end(), [](const glm::vec4& v) { return finite(v); });
        };
        in.ok = in.ok && perVertex(mesh.colors, VertexColors) && perVertex(mesh.tangents, NormalMap);
    }
    for (const MappedImage& image : images)
        if (static_cast<std::uint64_t>(image.width) * image.height * 4 != image.texels.size ||
            (image.texels.empty() && (image.width != 0 || image.height != 0)))
            in.ok = false;
    if (!in.ok)
        return damaged();
    return true;
}

ImportedModel MappedModel::copy() const
{
    ImportedModel model;
    for (const MappedMesh& from : meshes) {
        ImportedMesh mesh;
        mesh.vertices = copyOf(from.vertices);
        mesh.indices = copyOf(from.indices);
        mesh.textures = from.textures;
        mesh.color = from.color;
        mesh.material = from.material;
        mesh.colorMap = from.colorMap;
        mesh.normalMap = from.normalMap;
        mesh.emissiveMap = from.emissiveMap;
        mesh.metalRoughnessMap = from.metalRoughnessMap;
        mesh.imageChecks = from.imageChecks;
        mesh.extras.colors = copyOf(from.colors);
        mesh.extras.tangents = copyOf(from.tangents);
        model.meshes.push_back(std::move(mesh));
    }
    for (const MappedImage& from : images)
        model.images.push_back(DecodedImage{from.file, from.label, from.width, from.height, copyOf(from.texels)});
    return model;
}
