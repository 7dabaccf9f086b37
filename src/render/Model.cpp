#include "render/Model.h"

#include "render/Mesh.h"
#include "render/ProgramVariants.h"
#include "render/Shader.h"

#include <glm/gtc/matrix_transform.hpp>

#include <cmath>

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
    // A float angle that only grew would lose the small steps of a frame
    // after hours and stop turning after days.
    if (speed > 0.0f)
        angle = std::fmod(angle + std::fmod(speed * dt, 360.0f), 360.0f);
}

glm::mat4 Model::modelMatrix() const
{
    glm::mat4 matrix = glm::translate(glm::mat4(1.0f), position);
    // A zero axis has no direction to turn about: draw such a model unrotated
    // rather than with a matrix of NaNs.
    if (angle != 0.0f && glm::dot(axis, axis) > 0.0f)
        matrix = glm::rotate(matrix, angle * 0.017453292f, axis);
    for (int i = 2; i >= 0; --i)
        if (rotation[i] != 0.0f) {
            glm::vec3 about(0.0f);
            about[i] = 1.0f;
            matrix = glm::rotate(matrix, rotation[i] * 0.017453292f, about);
        }
    if (scale != 1.0f)
        matrix = glm::scale(matrix, glm::vec3(scale));
    return matrix;
}

void Model::setMaterialValues(Shader& shader) const
{
    shader.setFloat("refraction", refraction);
    shader.setFloat("reflection", reflection);
    shader.setFloat("transparency", transparency);
}

void Model::drawMesh(Mesh& mesh, const glm::mat4& matrix, GLuint program) const
{
    // Glass keeps culling: its captures tell entry from exit surfaces by it.
    const bool cullingOff = !transparent && mesh.getMaterial().has(TwoSided);
    if (cullingOff)
        glDisable(GL_CULL_FACE);
    mesh.draw(matrix, program);
    if (cullingOff)
        glEnable(GL_CULL_FACE);
}

void Model::draw(std::shared_ptr<Shader> shader, bool transparentPass)
{
    if (transparentPass != transparent)
        return;
    setMaterialValues(*shader);
    const glm::mat4 matrix = modelMatrix();
    for (const std::shared_ptr<Mesh>& mesh : meshes)
        drawMesh(*mesh, matrix, shader->getProgram());
}

void Model::draw(ProgramVariants& programs, bool transparentPass, bool skipBlended)
{
    if (transparentPass != transparent)
        return;
    const glm::mat4 matrix = modelMatrix();
    // The model's values go to each variant its meshes use, once per draw.
    const Shader* valuesSetOn = nullptr;
    for (const std::shared_ptr<Mesh>& mesh : meshes) {
        if (skipBlended && !transparent && mesh->getMaterial().has(AlphaBlend))
            continue;
        Shader& shader = programs.forMesh(*mesh);
        if (&shader != valuesSetOn) {
            setMaterialValues(shader);
            valuesSetOn = &shader;
        }
        drawMesh(*mesh, matrix, shader.getProgram());
    }
}

void Model::drawBlendedMesh(ProgramVariants& programs, Mesh& mesh)
{
    Shader& shader = programs.forMesh(mesh);
    setMaterialValues(shader);
    drawMesh(mesh, modelMatrix(), shader.getProgram());
}
