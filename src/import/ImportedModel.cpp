#include "import/ImportedModel.h"

#include "import/HandOverFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

using namespace handover;

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
    // A length in bytes, zeros up to the next aligned offset, then the
    // bytes in one copy.
    template <typename T> void array(const std::vector<T>& items)
    {
        u32(static_cast<std::uint32_t>(items.size() * sizeof(T)));
        const std::size_t padding = paddingAt(size);
        if (out)
            std::memset(out + size, 0, padding);
        size += padding;
        bytes(items.data(), items.size() * sizeof(T));
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
        out.array(mesh.vertices);
        out.array(mesh.indices);
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
        out.array(mesh.extras.colors);
        out.array(mesh.extras.tangents);
    }
    out.u32(static_cast<std::uint32_t>(model.images.size()));
    for (const DecodedImage& image : model.images) {
        out.block(image.file.data(), image.file.size());
        out.block(image.label.data(), image.label.size());
        out.u32(image.width);
        out.u32(image.height);
        out.array(image.texels);
    }
}

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
