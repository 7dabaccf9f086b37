#include "ModelFiles.h"

#include <algorithm>
#include <cstdint>

namespace {

std::string bytesOf(const void* data, std::size_t size) { return std::string(static_cast<const char*>(data), size); }

} // namespace

std::string writeGltf(const TempDir& dir, const GltfQuad& quad, const std::string& name)
{
    const float positions[] = {-0.5f, 0, 0.5f, 0.5f, 0, 0.5f, 0.5f, 0, -0.5f, -0.5f, 0, -0.5f};
    const float uvs[] = {0, 1, 1, 1, 1, 0, 0, 0};
    const unsigned short indices[] = {0, 1, 2, 0, 2, 3};
    std::string bin, views, accessors, attributes;
    // Appends one buffer view with its accessor; 4-byte aligned.
    const auto add = [&](const std::string& data, const std::string& accessor) {
        const std::size_t index = accessors.empty() ? 0 : std::count(accessors.begin(), accessors.end(), '}');
        views += std::string(views.empty() ? "" : ",") + R"({"buffer":0,"byteOffset":)" + std::to_string(bin.size()) +
                 R"(,"byteLength":)" + std::to_string(data.size()) + "}";
        accessors += std::string(accessors.empty() ? "" : ",") + R"({"bufferView":)" + std::to_string(index) + "," +
                     accessor + "}";
        bin += data + std::string((4 - data.size() % 4) % 4, '\0');
        return std::to_string(index);
    };
    attributes += R"("POSITION":)" + add(bytesOf(positions, sizeof positions),
                                          R"("componentType":5126,"count":4,"type":"VEC3","min":[-0.5,0,-0.5],"max":[0.5,0,0.5])");
    attributes += R"(,"TEXCOORD_0":)" + add(bytesOf(uvs, sizeof uvs), R"("componentType":5126,"count":4,"type":"VEC2")");
    const std::string indexAccessor =
        add(bytesOf(indices, sizeof indices), R"("componentType":5123,"count":6,"type":"SCALAR")");
    if (!quad.colors.empty())
        attributes += R"(,"COLOR_0":)" + add(bytesOf(quad.colors.data(), quad.colors.size() * 4),
                                             R"("componentType":5126,"count":4,"type":"VEC4")");
    if (!quad.tangents.empty()) {
        const float normals[] = {0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0};
        attributes += R"(,"NORMAL":)" + add(bytesOf(normals, sizeof normals), R"("componentType":5126,"count":4,"type":"VEC3")");
        attributes += R"(,"TANGENT":)" + add(bytesOf(quad.tangents.data(), quad.tangents.size() * 4),
                                             R"("componentType":5126,"count":4,"type":"VEC4")");
    }
    std::string skin;
    if (!quad.joints.empty()) {
        attributes += R"(,"JOINTS_0":)" + add(bytesOf(quad.joints.data(), quad.joints.size() * 2),
                                              R"("componentType":5123,"count":4,"type":"VEC4")");
        attributes += R"(,"WEIGHTS_0":)" + add(bytesOf(quad.weights.data(), quad.weights.size() * 4),
                                               R"("componentType":5126,"count":4,"type":"VEC4")");
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        const std::string bind = add(bytesOf(identity, sizeof identity), R"("componentType":5126,"count":1,"type":"MAT4")");
        skin = R"(,"skins":)" + quad.skins;
        skin.replace(skin.find("BIND"), 4, bind);
    }
    std::string images, textures;
    for (const std::string& image : quad.images) {
        images += std::string(images.empty() ? "" : ",") + R"({"uri":")" + image + R"("})";
        textures += std::string(textures.empty() ? "" : ",") + R"({"source":)" +
                    std::to_string(&image - quad.images.data()) + "}";
    }
    if (!quad.embedded.empty()) {
        const std::size_t viewIndex = std::count(views.begin(), views.end(), '}');
        views += R"(,{"buffer":0,"byteOffset":)" + std::to_string(bin.size()) + R"(,"byteLength":)" +
                 std::to_string(quad.embedded.size()) + "}";
        bin += quad.embedded + std::string((4 - quad.embedded.size() % 4) % 4, '\0');
        images += std::string(images.empty() ? "" : ",") + R"({"bufferView":)" + std::to_string(viewIndex) +
                  R"(,"mimeType":"image/png"})";
        textures += std::string(textures.empty() ? "" : ",") + R"({"source":)" + std::to_string(quad.images.size()) + "}";
    }
    const bool glb = !quad.embedded.empty();
    std::string json = R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[)" + quad.nodes +
                       R"(],"meshes":[{"primitives":[{"attributes":{)" + attributes + R"(},"indices":)" + indexAccessor +
                       R"(,"material":0}]}],"materials":[)" + quad.material + "]" + skin +
                       (images.empty() ? "" : R"(,"images":[)" + images + R"(],"textures":[)" + textures + "]") +
                       R"(,"accessors":[)" + accessors + R"(],"bufferViews":[)" + views + R"(],"buffers":[{"byteLength":)" +
                       std::to_string(bin.size()) + (glb ? "}]}" : R"(,"uri":")" + name + R"(.bin"}]})");
    if (!glb) {
        dir.write(name + ".bin", bin);
        dir.write(name + ".gltf", json);
        return dir.file(name + ".gltf");
    }
    json += std::string((4 - json.size() % 4) % 4, ' ');
    const auto u32 = [](std::size_t v) {
        const std::uint32_t value = static_cast<std::uint32_t>(v);
        return bytesOf(&value, 4);
    };
    dir.write(name + ".glb", "glTF" + u32(2) + u32(28 + json.size() + bin.size()) + u32(json.size()) + "JSON" + json +
                              u32(bin.size()) + std::string("BIN\0", 4) + bin);
    return dir.file(name + ".glb");
}
