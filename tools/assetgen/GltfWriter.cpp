#include "GltfWriter.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

constexpr int kFloat = 5126;
constexpr int kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;

// Appends raw little-endian 32-bit values and records one buffer view and
// one accessor per block.
class Blocks {
public:
    void add(const void* data, std::size_t bytes, int componentType, std::size_t count, const char* type, int target,
             const std::string& bounds)
    {
        const std::size_t offset = binary.size();
        binary.resize(offset + bytes);
        std::memcpy(binary.data() + offset, data, bytes);
        const std::size_t index = views.size();
        views.push_back("{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) +
                        ",\"byteLength\":" + std::to_string(bytes) + ",\"target\":" + std::to_string(target) + "}");
        accessors.push_back("{\"bufferView\":" + std::to_string(index) +
                            ",\"componentType\":" + std::to_string(componentType) +
                            ",\"count\":" + std::to_string(count) + ",\"type\":\"" + type + "\"" + bounds + "}");
    }
    std::size_t count() const { return accessors.size(); }

    std::vector<std::uint8_t> binary;
    std::vector<std::string> views;
    std::vector<std::string> accessors;
};

std::string list(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i ? ",\n    " : "\n    ") + items[i];
    return text + "\n  ]";
}

// Accessor bounds must hold the stored floats exactly, so they are printed
// with every significant digit.
std::string array(const glm::vec3& v)
{
    char text[128];
    std::snprintf(text, sizeof text, "[%.9g,%.9g,%.9g]", static_cast<double>(v.x), static_cast<double>(v.y),
                  static_cast<double>(v.z));
    return text;
}

} // namespace

GltfWriter::Files GltfWriter::encode(const std::string& name, const MeshBuilder& mesh)
{
    Blocks blocks;
    std::vector<std::string> primitives, materials, textures, images;
    for (const MeshPart& part : mesh.getParts()) {
        std::vector<float> positions, normals, uvs;
        glm::vec3 low(part.vertices.front().position), high(low);
        for (const MeshVertex& v : part.vertices) {
            positions.insert(positions.end(), {v.position.x, v.position.y, v.position.z});
            normals.insert(normals.end(), {v.normal.x, v.normal.y, v.normal.z});
            uvs.insert(uvs.end(), {v.uv.x, 1.0f - v.uv.y});
            low = glm::min(low, v.position);
            high = glm::max(high, v.position);
        }
        const std::size_t first = blocks.count();
        const std::size_t n = part.vertices.size();
        blocks.add(positions.data(), positions.size() * 4, kFloat, n, "VEC3", kArrayBuffer,
                   ",\"min\":" + array(low) + ",\"max\":" + array(high));
        blocks.add(normals.data(), normals.size() * 4, kFloat, n, "VEC3", kArrayBuffer, "");
        blocks.add(uvs.data(), uvs.size() * 4, kFloat, n, "VEC2", kArrayBuffer, "");
        blocks.add(part.indices.data(), part.indices.size() * 4, kUnsignedInt, part.indices.size(), "SCALAR",
                   kElementArrayBuffer, "");
        const std::string m = std::to_string(materials.size());
        primitives.push_back("{\"attributes\":{\"POSITION\":" + std::to_string(first) +
                             ",\"NORMAL\":" + std::to_string(first + 1) + ",\"TEXCOORD_0\":" +
                             std::to_string(first + 2) + "},\"indices\":" + std::to_string(first + 3) +
                             ",\"material\":" + m + ",\"mode\":4}");
        materials.push_back("{\"name\":\"" + part.material + "\",\"pbrMetallicRoughness\":{\"baseColorTexture\":"
                            "{\"index\":" + m + "},\"metallicFactor\":0,\"roughnessFactor\":0.6}}");
        textures.push_back("{\"source\":" + m + ",\"sampler\":0}");
        images.push_back("{\"uri\":\"" + part.texture + "\"}");
    }
    std::ostringstream json;
    json << "{\n  \"asset\": {\"version\": \"2.0\", \"generator\": \"velmora-assetgen\"},\n";
    json << "  \"scene\": 0,\n  \"scenes\": [{\"nodes\": [0]}],\n";
    json << "  \"nodes\": [{\"name\": \"" << name << "\", \"mesh\": 0}],\n";
    json << "  \"meshes\": [{\"name\": \"" << name << "\", \"primitives\": " << list(primitives) << "}],\n";
    json << "  \"materials\": " << list(materials) << ",\n";
    json << "  \"textures\": " << list(textures) << ",\n";
    json << "  \"images\": " << list(images) << ",\n";
    // Nearest filtering and clamping, as the viewer samples model textures.
    json << "  \"samplers\": [{\"magFilter\": 9728, \"minFilter\": 9728, \"wrapS\": 33071, \"wrapT\": 33071}],\n";
    json << "  \"buffers\": [{\"uri\": \"" << name << ".bin\", \"byteLength\": " << blocks.binary.size() << "}],\n";
    json << "  \"bufferViews\": " << list(blocks.views) << ",\n";
    json << "  \"accessors\": " << list(blocks.accessors) << "\n}\n";
    return Files{json.str(), blocks.binary};
}
