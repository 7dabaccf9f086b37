#include "effects/RefractionCaptures.h"

#include "effects/PostProcFramebuffer.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/Shader.h"
#include "scene/Scene.h"

#include <algorithm>
#include <cmath>

namespace {

// Smallest sphere about the centre of the mesh's bounding box holding all
// its vertices (model space): xyz centre, w radius.
glm::vec4 boundingSphere(const Mesh& mesh)
{
    const std::vector<Vertex>& vertices = mesh.getVertices();
    if (vertices.empty())
        return glm::vec4(0.0f, 0.0f, 0.0f, -1.0f);
    glm::vec3 low = vertices.front().position;
    glm::vec3 high = low;
    for (const Vertex& vertex : vertices) {
        low = glm::min(low, vertex.position);
        high = glm::max(high, vertex.position);
    }
    const glm::vec3 centre = 0.5f * (low + high);
    float radius2 = 0.0f;
    for (const Vertex& vertex : vertices) {
        const glm::vec3 d = vertex.position - centre;
        radius2 = std::max(radius2, glm::dot(d, d));
    }
    return glm::vec4(centre, std::sqrt(radius2));
}

// Normalised device coordinates (low, high) along one screen axis of a
// sphere's outline. In the plane of that axis and the view axis the sphere
// is a circle about (a, z), z < -radius; the eye's two tangents to it touch
// at the centre direction turned by +-asin(radius / distance), at the tangent
// length. A point (a, z) projects to (scale * a + shift * z) / -z.
glm::vec2 touchingPlanes(float a, float z, float radius, float scale, float shift)
{
    const float distance = std::sqrt(a * a + z * z);
    const float sine = radius / distance;
    const float cosine = std::sqrt(std::max(1.0f - sine * sine, 0.0f));
    float ends[2];
    for (int side = 0; side < 2; ++side) {
        const float s = side == 0 ? sine : -sine;
        const float ta = cosine * (cosine * a - s * z);
        const float tz = cosine * (s * a + cosine * z);
        ends[side] = (scale * ta + shift * tz) / -tz;
    }
    return glm::vec2(std::min(ends[0], ends[1]), std::max(ends[0], ends[1]));
}

} // namespace

RefractionCaptures::RefractionCaptures(int width, int height)
    : width(width), height(height)
{
    testQuadShader = Shader::build("shader/testquad.vert", "shader/testquad.frag");
    normalShader = Shader::build("shader/normal.vert", "shader/normal.frag");
    refractionFrontTarget = std::make_shared<PostProcFramebuffer>(width, height, testQuadShader);
    refractionBackTarget = std::make_shared<PostProcFramebuffer>(width, height, testQuadShader);
    rrTestShader = Shader::build("shader/rrTest.vert", "shader/rrTest.frag");
    reflectionRefractionTarget = std::make_shared<PostProcFramebuffer>(width, height, testQuadShader);
}

void RefractionCaptures::render(Scene& scene, const glm::mat4& view, const glm::mat4& projection)
{
    // Front faces: normal and colour of the nearest transparent surface.
    refractionFrontTarget->bindAndClear();
    normalShader->use();
    normalShader->setMat4("view", view);
    normalShader->setMat4("projection", projection);
    scene.draw(normalShader, true);
    refractionFrontTarget->unbind();

    // Back faces, with the matrices still set from the front capture: the
    // far side of the nearest transparent body.
    glCullFace(GL_FRONT);
    refractionBackTarget->bindAndClear();
    scene.draw(normalShader, true);
    refractionBackTarget->unbind();
    glCullFace(GL_BACK);

    // Front faces again: each body's colour and its material terms.
    reflectionRefractionTarget->bindAndClear();
    rrTestShader->use();
    rrTestShader->setMat4("view", view);
    rrTestShader->setMat4("projection", projection);
    scene.draw(rrTestShader, true);
    reflectionRefractionTarget->unbind();

    findGlassBounds(scene, view, projection);
}

void RefractionCaptures::findGlassBounds(Scene& scene, const glm::mat4& view, const glm::mat4& projection)
{
    // Near plane distance of the perspective projection.
    const float nearPlane = projection[3][2] / (projection[2][2] - 1.0f);
    glm::vec2 low(static_cast<float>(width), static_cast<float>(height));
    glm::vec2 high(0.0f);
    for (const std::shared_ptr<Model>& model : scene.getModels()) {
        if (!model->isTransparent())
            continue;
        // Model matrices turn and move but never scale, so radii carry over.
        const glm::mat4 modelView = view * model->modelMatrix();
        for (const std::shared_ptr<Mesh>& mesh : model->getMeshes()) {
            const glm::vec4 sphere = boundingSphere(*mesh);
            if (sphere.w < 0.0f)
                continue;
            const glm::vec3 centre = glm::vec3(modelView * glm::vec4(glm::vec3(sphere), 1.0f));
            const float radius = sphere.w;
            if (centre.z - radius > -nearPlane)
                continue; // wholly behind the near plane
            if (centre.z + radius > -nearPlane) {
                // Crossing the near plane: it may cover any pixel.
                low = glm::vec2(0.0f);
                high = glm::vec2(static_cast<float>(width), static_cast<float>(height));
                continue;
            }
            // The sphere lies wholly in front of the near plane: its outline
            // on screen lies between the planes through the eye that touch
            // it, one pair for x and one for y.
            const glm::vec2 x = touchingPlanes(centre.x, centre.z, radius, projection[0][0], projection[2][0]);
            const glm::vec2 y = touchingPlanes(centre.y, centre.z, radius, projection[1][1], projection[2][1]);
            const glm::vec2 size(static_cast<float>(width), static_cast<float>(height));
            low = glm::min(low, (glm::vec2(x[0], y[0]) * 0.5f + 0.5f) * size);
            high = glm::max(high, (glm::vec2(x[1], y[1]) * 0.5f + 0.5f) * size);
        }
    }
    // Whole pixels, one to spare on each side, clipped to the window.
    const glm::vec2 size(static_cast<float>(width), static_cast<float>(height));
    const glm::ivec2 first(glm::clamp(glm::floor(low) - 1.0f, glm::vec2(0.0f), size));
    const glm::ivec2 last(glm::clamp(glm::ceil(high) + 1.0f, glm::vec2(0.0f), size));
    if (last.x <= first.x || last.y <= first.y)
        glassBounds = glm::ivec4(0);
    else
        glassBounds = glm::ivec4(first, last - first);
}

void RefractionCaptures::bindForComposite(std::shared_ptr<Shader> composite)
{
    refractionFrontTarget->bindTextures(composite, 4, "refractionFrontNormal", "refractionFrontDepth",
                                        "refractionFrontColor");
    refractionBackTarget->bindTextures(composite, 7, "refractionBackNormal", "refractionBackDepth",
                                       "refractionBackColor");
    reflectionRefractionTarget->bindTextures(composite, 10, "rrColor", "rrDepth", "reflectionRefraction");
}
