#include "render/Mesh.h"

#include <glm/gtc/type_ptr.hpp>

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace {

// `into` becomes a copy of `count` items at `from`. Its storage is advised
// onto transparent huge pages before the copy touches it: a large mesh's
// copy is hundreds of MB, and fresh 4 KiB pages each cost a fault, which on
// a virtual machine made the copy take as long as the upload.
template <typename T>
void copyOnHugePages(std::vector<T>& into, const T* from, std::size_t count)
{
    constexpr std::uintptr_t hugePage = std::uintptr_t(2) << 20;
    into.reserve(count);
    const auto start = reinterpret_cast<std::uintptr_t>(into.data());
    const std::uintptr_t begin = (start + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t end = (start + count * sizeof(T)) & ~(hugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    into.assign(from, from + count);
}

} // namespace

Mesh::Mesh(const MeshArrays& arrays, std::vector<Texture> textures, Material material)
    : textures(std::move(textures)),
      material(material), vertexColors(arrays.colors && arrays.vertexCount > 0),
      tangents(arrays.tangents && arrays.vertexCount > 0)
{
    glGenVertexArrays(1, &vao);
    glGenBuffers(1, &vbo);
    glGenBuffers(1, &ebo);

    const std::size_t vertexCount = arrays.vertexCount;
    const std::size_t indexCount = arrays.indexCount;
    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount * sizeof(Vertex)), arrays.vertices,
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCount * sizeof(unsigned int)), arrays.indices,
                 GL_STATIC_DRAW);

    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<void*>(offsetof(Vertex, position)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, normal)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, uv)));

    // Per-vertex colours and tangents, each in a buffer of its own and only
    // when the mesh has them; the programs read them only for materials
    // that ask for them.
    const auto addExtra = [vertexCount](GLuint location, const glm::vec4* values) {
        if (!values || vertexCount == 0)
            return;
        GLuint buffer = 0;
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount * sizeof(glm::vec4)), values,
                     GL_STATIC_DRAW);
        glEnableVertexAttribArray(location);
        glVertexAttribPointer(location, 4, GL_FLOAT, GL_FALSE, sizeof(glm::vec4), nullptr);
    };
    addExtra(3, arrays.colors);
    addExtra(4, arrays.tangents);
    glBindVertexArray(0); // the last array buffer stays bound

    if (vertexCount > 0)
        copyOnHugePages(vertices, arrays.vertices, vertexCount);
    if (indexCount > 0)
        copyOnHugePages(indices, arrays.indices, indexCount);
}

Mesh::Mesh(const std::vector<Vertex>& vertices, const std::vector<unsigned int>& indices, std::vector<Texture> textures,
           Material material)
    : Mesh(MeshArrays{vertices.data(), vertices.size(), indices.data(), indices.size()}, std::move(textures), material)
{
}

void Mesh::applyMaterial(GLuint program) const
{
    const auto location = [program](const char* name) { return glGetUniformLocation(program, name); };
    glUniform4fv(location("baseColorFactor"), 1, glm::value_ptr(material.baseColorFactor));
    const auto bindMap = [](GLenum unit, GLuint texture) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, texture);
    };
    if (material.has(NormalMap)) {
        bindMap(normalMapUnit, material.normalTexture);
        glUniform1f(location("normalScale"), material.normalScale);
    }
    if (material.has(Emissive)) {
        bindMap(emissiveMapUnit, material.emissiveTexture);
        glUniform3fv(location("emissiveFactor"), 1, glm::value_ptr(material.emissiveFactor));
    }
    if (material.has(AlphaMask))
        glUniform1f(location("alphaCutoff"), material.alphaCutoff);
    if (material.has(MetalRoughness)) {
        bindMap(metalRoughnessMapUnit, material.metalRoughnessTexture);
        glUniform1f(location("metallic"), material.metallic);
        glUniform1f(location("roughness"), material.roughness);
    }
    if (material.has(ClassicSpecular)) {
        glUniform3fv(location("specularColor"), 1, glm::value_ptr(material.specularColor));
        glUniform1f(location("shininess"), material.shininess);
    }
}

void Mesh::draw(const glm::mat4& model, GLuint program)
{
    // A material without features sets nothing: the plain program has none
    // of these uniforms.
    if (material.features != 0 || material.baseColorFactor != glm::vec4(1.0f))
        applyMaterial(program);
    glActiveTexture(GL_TEXTURE0);
    // Always bound, so that no mesh samples the previous mesh's image (a
    // mesh made without a colour texture unbinds the unit).
    glBindTexture(GL_TEXTURE_2D, material.colorTexture);
    glBindVertexArray(vao);
    glUniformMatrix4fv(glGetUniformLocation(program, "model"), 1, GL_FALSE, glm::value_ptr(model));
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
}
