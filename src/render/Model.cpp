#include "render/Model.h"

#include "render/Mesh.h"
#include "render/Shader.h"

#include <glm/gtc/matrix_transform.hpp>

Model::Model(std::vector<std::shared_ptr<Mesh>> meshes)
    : meshes(std::move(meshes))
{
}

void Model::setTransparency(float t)
{
    transparency = t;
    if (t > 0.0f && t <= 1.0f)
        transparent = true;
}

void Model::update(float dt)
{
    if (speed > 0.0f)
        angle += speed * dt;
}

glm::mat4 Model::modelMatrix() const
{
    glm::mat4 matrix = glm::translate(glm::mat4(1.0f), position);
    // A zero axis has no direction to turn about: draw such a model unrotated
    // rather than with a matrix of NaNs.
    if (angle != 0.0f && glm::dot(axis, axis) > 0.0f)
        matrix = glm::rotate(matrix, angle * 0.017453292f, axis);
    if (scale != 1.0f)
        matrix = glm::scale(matrix, glm::vec3(scale));
    return matrix;
}

void Model::draw(std::shared_ptr<Shader> shader, bool transparentPass)
{
    if (transparentPass != transparent)
        return;
    shader->setFloat("refraction", refraction);
    shader->setFloat("reflection", reflection);
    shader->setFloat("transparency", transparency);
    const glm::mat4 matrix = modelMatrix();
    for (const std::shared_ptr<Mesh>& mesh : meshes)
        mesh->draw(matrix, shader->getProgram());
}
