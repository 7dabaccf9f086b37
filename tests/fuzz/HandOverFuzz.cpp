// The viewer's reader of the import process's results, on any bytes: the
// process runs a third-party parser on untrusted files, so what it sends may
// be anything. A model the reader accepts must be safe to draw: indices
// inside their vertex list, whole triangles, per-vertex data one per vertex,
// images inside the list and complete; and it must encode to the same bytes.
#include "FuzzSupport.h"

#include "import/ImportedModel.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ImportedModel model;
    std::string error;
    if (!model.decode(reinterpret_cast<const char*>(data), size, error)) {
        FUZZ_CHECK(model.meshes.empty() && model.images.empty() && !error.empty());
        return 0;
    }
    for (const ImportedMesh& mesh : model.meshes) {
        FUZZ_CHECK(mesh.indices.size() % 3 == 0);
        for (unsigned int index : mesh.indices)
            FUZZ_CHECK(index < mesh.vertices.size());
        FUZZ_CHECK(mesh.extras.colors.empty() || mesh.extras.colors.size() == mesh.vertices.size());
        FUZZ_CHECK(mesh.extras.tangents.empty() || mesh.extras.tangents.size() == mesh.vertices.size());
        for (const TextureReference* map : {&mesh.colorMap, &mesh.normalMap, &mesh.emissiveMap, &mesh.metalRoughnessMap})
            FUZZ_CHECK(map->image >= -1 && map->image < static_cast<int>(model.images.size()));
    }
    for (const DecodedImage& image : model.images)
        FUZZ_CHECK(static_cast<std::uint64_t>(image.width) * image.height * 4 == image.texels.size());
    const std::string again = model.encode();
    FUZZ_CHECK(again.size() == size && std::memcmp(again.data(), data, size) == 0);
    return 0;
}
