#include "render/Mesh.h"

Mesh::Mesh(std::vector<Vertex> v, std::vector<unsigned int> i, std::vector<Texture> t)
    : vertices(std::move(v)), indices(std::move(i)), textures(std::move(t))
{
}
void Mesh::draw(const glm::mat4&, GLuint) {}
