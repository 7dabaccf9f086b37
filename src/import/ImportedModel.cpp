#include "import/ImportedModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr char magic[4] = {'V', 'M', 'D', '2'};

// The material's numbers, in the order they travel (15 floats).
template <typename M> auto materialFloats(M& m)
{
    return std::array<decltype(&m.normalScale), 15>{
        &m.baseColorFactor.r, &m.baseColorFactor.g, &m.baseColorFactor.b, &m.baseColorFactor.a,
        &m.normalScale,       &m.emissiveFactor.r,  &m.emissiveFactor.g,  &m.emissiveFactor.b,
        &m.alphaCutoff,       &m.metallic,          &m.roughness,         &m.specularColor.r,
        &m.specularColor.g,   &m.specularColor.b,   &m.shininess};
}

bool finite(const glm::vec4& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w); }

// Writes fields one after the other into `out`, or only counts their bytes
// when `out` is null (the same walk gives the size and the bytes).
class Writer {
public:
    explicit Writer(char* out) : out(out) {}

    std::size_t size = 0;

    void bytes(const void* data, std::size_t count)
    {
        if (out && count > 0)
            std::memcpy(out + size, data, count);
        size += count;
    }
    void u32(std::uint32_t value) { bytes(&value, 4); }
    // A length in bytes, then the bytes.
    void block(const void* data, std::size_t count)
    {
        u32(static_cast<std::uint32_t>(count));
        bytes(data, count);
    }
    void reference(const TextureReference& texture)
    {
        block(texture.type.data(), texture.type.size());
        block(texture.name.data(), texture.name.size());
        u32(static_cast<std::uint32_t>(texture.image));
    }

private:
    char* out;
};

void write(const ImportedModel& model, Writer& out)
{
    out.bytes(magic, sizeof magic);
    out.u32(static_cast<std::uint32_t>(model.meshes.size()));
    for (const ImportedMesh& mesh : model.meshes) {
        out.block(mesh.vertices.data(), mesh.vertices.size() * sizeof(Vertex));
        out.block(mesh.indices.data(), mesh.indices.size() * sizeof(unsigned int));
        out.bytes(mesh.color.data(), 4);
        out.u32(static_cast<std::uint32_t>(mesh.textures.size()));
        for (const TextureReference& texture : mesh.textures)
            out.reference(texture);
        for (const TextureReference* map : {&mesh.colorMap, &mesh.normalMap, &mesh.emissiveMap, &mesh.metalRoughnessMap})
            out.reference(*map);
        out.u32(mesh.material.features);
        out.u32(mesh.imageChecks);
        for (const float* value : materialFloats(mesh.material))
            out.bytes(value, 4);
        out.block(mesh.extras.colors.data(), mesh.extras.colors.size() * sizeof(glm::vec4));
        out.block(mesh.extras.tangents.data(), mesh.extras.tangents.size() * sizeof(glm::vec4));
    }
    out.u32(static_cast<std::uint32_t>(model.images.size()));
    for (const DecodedImage& image : model.images) {
        out.block(image.file.data(), image.file.size());
        out.block(image.label.data(), image.label.size());
        out.u32(image.width);
        out.u32(image.height);
        out.block(image.texels.data(), image.texels.size());
    }
}

// Reads fields off the front of a byte string; once a read fails every later
// one fails too, so callers check `ok` at the end of a record.
class Reader {
public:
    Reader(const char* bytes, std::size_t size) : data(bytes), left(size) {}

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
        if (!ok || size > left) {
            ok = false;
            return;
        }
        // An empty vector may have no storage at all.
        if (size == 0)
            return;
        std::memcpy(out, data, size);
        data += size;
        left -= size;
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
    // A length-prefixed array of trivially copyable items.
    template <typename T> void array(std::vector<T>& out)
    {
        const std::size_t size = count(1);
        if (size % sizeof(T) != 0)
            ok = false;
        out.resize(ok ? size / sizeof(T) : 0);
        take(out.data(), out.size() * sizeof(T));
    }
    bool atEnd() const { return ok && left == 0; }

private:
    const char* data;
    std::size_t left;
};

} // namespace

std::size_t ImportedModel::encodedSize() const
{
    Writer counter(nullptr);
    write(*this, counter);
    return counter.size;
}

void ImportedModel::encodeInto(char* out) const
{
    Writer writer(out);
    write(*this, writer);
}

std::string ImportedModel::encode() const
{
    std::string out(encodedSize(), '\0');
    encodeInto(out.data());
    return out;
}

bool ImportedModel::decode(const char* bytes, std::size_t size, std::string& error)
{
    meshes.clear();
    images.clear();
    Reader in(bytes, size);
    char head[sizeof magic] = {};
    in.take(head, sizeof head);
    if (!in.ok || std::memcmp(head, magic, sizeof magic) != 0) {
        error = "the import process sent no model";
        return false;
    }
    // An encoded mesh takes at least 140 bytes (five lengths and counts, a
    // colour, four map references, two flag words, the material's 15
    // floats and two more lengths), a texture reference at least 12 and an
    // image 20: that bounds the counts by the bytes left.
    meshes.resize(in.count(140));
    for (ImportedMesh& mesh : meshes) {
        in.array(mesh.vertices);
        in.array(mesh.indices);
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
        in.array(mesh.extras.colors);
        in.array(mesh.extras.tangents);
        if (!in.ok)
            break;
    }
    images.resize(in.count(20));
    for (DecodedImage& image : images) {
        image.file = in.text();
        image.label = in.text();
        image.width = in.u32();
        image.height = in.u32();
        in.array(image.texels);
        if (!in.ok)
            break;
    }
    if (!in.atEnd()) {
        error = "the import process sent a damaged model";
        meshes.clear();
        images.clear();
        return false;
    }
    // References must stay inside what arrived: indices inside each vertex
    // list, images inside the image list, texels complete;
    // per-vertex data one per vertex and there exactly when its feature is
    // on; only known flags and finite factors.
    const auto inImages = [this](const TextureReference& texture) {
        return texture.image >= -1 && texture.image < static_cast<int>(images.size());
    };
    for (ImportedMesh& mesh : meshes) {
        for (unsigned int index : mesh.indices)
            if (index >= mesh.vertices.size())
                in.ok = false;
        for (TextureReference& texture : mesh.textures)
            in.ok = in.ok && inImages(texture);
        for (const TextureReference* map : {&mesh.colorMap, &mesh.normalMap, &mesh.emissiveMap, &mesh.metalRoughnessMap})
            in.ok = in.ok && inImages(*map);
        if (mesh.indices.size() % 3 != 0)
            in.ok = false;
        const Material& material = mesh.material;
        if ((material.features & ~knownMaterialFeatures) != 0 || (mesh.imageChecks & ~knownImageChecks) != 0)
            in.ok = false;
        for (const float* value : materialFloats(material))
            in.ok = in.ok && std::isfinite(*value);
        const auto perVertex = [&mesh](const std::vector<glm::vec4>& values, MaterialFeature feature) {
            return values.size() == (mesh.material.has(feature) ? mesh.vertices.size() : 0) &&
                   std::all_of(values.begin(), values.end(), [](const glm::vec4& v) { return finite(v); });
        };
        in.ok = in.ok && perVertex(mesh.extras.colors, VertexColors) && perVertex(mesh.extras.tangents, NormalMap);
    }
    for (const DecodedImage& image : images)
        if (static_cast<std::uint64_t>(image.width) * image.height * 4 != image.texels.size() ||
            (image.texels.empty() && (image.width != 0 || image.height != 0)))
            in.ok = false;
    if (!in.ok) {
        error = "the import process sent a damaged model";
        meshes.clear();
        images.clear();
        return false;
    }
    return true;
}
