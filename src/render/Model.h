#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <memory>
#include <vector>

class Mesh;
class ProgramVariants;
class Shader;

// An imported model: its meshes plus the placement and material values the
// scene file gives it. Drawn only in passes whose transparent flag matches.
//
// Meshes of an opaque model whose material is two-sided are drawn with face
// culling off (on again after), in the lit pass and the shadow pass. Glass
// (a transparent model) keeps culling in its captures whatever its
// material: their front and back captures are its entry and exit surfaces,
// which a closed body marked two-sided must keep.
//
// Meshes with AlphaBlend in an opaque model are left out of the lit pass
// (skipBlended) and drawn after the sky, sorted back to front, through
// drawBlendedMesh() (see Scene::drawBlended); they still cast shadows where
// their alpha reaches 0.5. In glass they are drawn with the rest of it.
class Model {
public:
    explicit Model(std::vector<std::shared_ptr<Mesh>> meshes);

    // Sets "refraction", "reflection", "transparency" and, per mesh, "model"
    // on `shader` (already current) when `transparentPass` == transparent;
    // every mesh with this one program.
    void draw(std::shared_ptr<Shader> shader, bool transparentPass);
    // The same with each mesh drawn by the variant its material needs,
    // which is made current as needed (the caller has set the pass's
    // uniforms on every variant); `skipBlended` leaves out an opaque
    // model's AlphaBlend meshes.
    void draw(ProgramVariants& programs, bool transparentPass, bool skipBlended);
    // One of this model's meshes with its variant, whatever the pass.
    void drawBlendedMesh(ProgramVariants& programs, Mesh& mesh);
    // Advances `angle` by speed * dt degrees when speed > 0, kept within
    // [0, 360) so that the turn stays even however long the program runs.
    void update(float dt);

    // t in (0, 1] also marks the model transparent; nothing clears the flag.
    void setTransparency(float t);
    void setRefraction(float r) { refraction = r; }
    void setReflection(float r) { reflection = r; }
    void setPosition(const glm::vec3& p) { position = p; }
    void setAxis(const glm::vec3& a) { axis = a; }
    void setSpeed(float s) { speed = s; }
    void setScale(float s) { scale = s; }
    // Fixed orientation in degrees: about x by rotation.x, then y, then z.
    void setRotation(const glm::vec3& degrees) { rotation = degrees; }

    // Uniform scaling by `scale` about the model's origin, then the fixed
    // orientation (`rotation`: about x, then y, then z), then the turn by
    // `angle` degrees about `axis` (skipped while angle is 0 or the axis has
    // zero length), then the translation to `position`:
    //     translate * turn * Rz * Ry * Rx * scale.
    // Every pass draws with this one matrix.
    glm::mat4 modelMatrix() const;

    const std::vector<std::shared_ptr<Mesh>>& getMeshes() const { return meshes; }
    bool isTransparent() const { return transparent; }
    float getTransparency() const { return transparency; }
    float getRefraction() const { return refraction; }
    float getReflection() const { return reflection; }
    const glm::vec3& getPosition() const { return position; }
    const glm::vec3& getAxis() const { return axis; }
    float getAngle() const { return angle; }
    float getSpeed() const { return speed; }
    float getScale() const { return scale; }
    const glm::vec3& getRotation() const { return rotation; }

private:
    void setMaterialValues(Shader& shader) const;
    void drawMesh(Mesh& mesh, const glm::mat4& matrix, GLuint program) const;

    glm::vec3 position{0.0f};
    std::vector<std::shared_ptr<Mesh>> meshes;
    bool transparent = false;
    float transparency = 0.0f;
    float refraction = 1.0f;
    float reflection = 0.0f;
    glm::vec3 axis{0.0f};
    float angle = 0.0f;
    float speed = 0.0f;
    float scale = 1.0f;
    glm::vec3 rotation{0.0f};
};
