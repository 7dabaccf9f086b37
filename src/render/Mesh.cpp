#include "render/Mesh.h"

#include <glm/gtc/type_ptr.hpp>

#include <cstddef>

Mesh::Mesh(std::vector<Vertex> vertices, std::vector<unsigned int> indices, std::vector<Texture> textures,
           Material material, VertexExtras extras)
    : vertices(std::move(vertices)), indices(std::move(indices)), textures(std::move(textures)),
      material(material), extras(std::move(extras))
{
    glGenVertexArrays(1, &vao);
    glGenBuffers(1, &vbo);
    glGenBuffers(1, &ebo);

    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(this->vertices.size() * sizeof(Vertex)),
                 this->vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(this->indices.size() * sizeof(unsigned int)),
                 this->indices.data(), GL_STATIC_DRAW);

    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<void*>(offsetof(Vertex, position)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, normal)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, uv)));
    glBindVertexArray(0); // the array buffer stays bound
}

void Mesh::draw(const glm::mat4& model, GLuint program)
{
    glActiveTexture(GL_TEXTURE0);
    // Only the first texture is sampled; a mesh without any gets the shared
    // white texture so it shows lit rather than the previous mesh's image.
    if (!textures.empty())
        glBindTexture(GL_TEXTURE_2D, textures[0].id);
    else if (fallbackTexture != 0)
        glBindTexture(GL_TEXTURE_2D, fallbackTexture);
    glBindVertexArray(vao);
    glUniformMatrix4fv(glGetUniformLocation(program, "model"), 1, GL_FALSE, glm::value_ptr(model));
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
}
