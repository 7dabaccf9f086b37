// The viewer's reader of the import process's results, on any bytes: the
// process runs a third-party parser on untrusted files, so what it sends may
// be anything. A model the reader accepts must be safe to draw: indices
// inside their vertex list, whole triangles, per-vertex data one per vertex,
// images inside the list and complete; and it must encode to the same bytes.
// The reader leaves the arrays where they lie, so the checks below read them
// in the input itself.
#include "FuzzSupport.h"

#include "import/MappedModel.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MappedModel model;
    std::string error;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!model.read(bytes, error)) {
        FUZZ_CHECK(model.meshes.empty() && model.images.empty() && !error.empty());
        return 0;
    }
    for (const MappedMesh& mesh : model.meshes) {
        FUZZ_CHECK(mesh.indices.size % 3 == 0);
        for (unsigned int index : mesh.indices)
            FUZZ_CHECK(index < mesh.vertices.size);
        FUZZ_CHECK(mesh.colors.empty() || mesh.colors.size == mesh.vertices.size);
        FUZZ_CHECK(mesh.tangents.empty() || mesh.tangents.size == mesh.vertices.size);
        for (const TextureReference* map : {&mesh.colorMap, &mesh.normalMap, &mesh.emissiveMap, &mesh.metalRoughnessMap})
            FUZZ_CHECK(map->image >= -1 && map->image < static_cast<int>(model.images.size()));
    }
    for (const MappedImage& image : model.images)
        FUZZ_CHECK(static_cast<std::uint64_t>(image.width) * image.height * 4 == image.texels.size);
    const std::string again = model.copy().encode();
    FUZZ_CHECK(again == bytes);
    return 0;
}
