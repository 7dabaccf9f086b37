#include "effects/RefractionCaptures.h"

#include "effects/PostProcFramebuffer.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/ProgramVariants.h"
#include "render/Shader.h"
#include "scene/Scene.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

// The sphere about the centre of the mesh's bounding box that holds all its
// vertices (model space): xyz centre, w radius; a negative radius for a
// mesh without vertices.
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

// The exact rectangle (normalised device coordinates) that the mesh's
// vertices project to, when all of them lie in front of the near plane
// (clip w above `nearPlane`); false otherwise, or for a mesh without
// vertices. Triangles lie within their corners' projections, so the
// rectangle holds everything the mesh draws.
bool projectedBounds(const Mesh& mesh, const glm::mat4& modelViewProjection, float nearPlane, glm::vec2& low,
                     glm::vec2& high)
{
    const std::vector<Vertex>& vertices = mesh.getVertices();
    if (vertices.empty())
        return false;
    low = glm::vec2(1e30f);
    high = glm::vec2(-1e30f);
    for (const Vertex& vertex : vertices) {
        const glm::vec4 clip = modelViewProjection * glm::vec4(vertex.position, 1.0f);
        if (!(clip.w > nearPlane))
            return false;
        const glm::vec2 ndc = glm::vec2(clip) / clip.w;
        low = glm::min(low, ndc);
        high = glm::max(high, ndc);
    }
    return true;
}

// Normalised device coordinates (low, high) along one screen axis of the
// part of a sphere in front of the near plane; low > high when none of it
// projects. In the plane of that axis and the view axis the sphere is a
// circle about (a, z) and the near plane the line z = -nearPlane; a point
// (a, z) projects to (scale * a + shift * z) / -z. The part's outline is
// reached either where a tangent from the eye touches the circle (the centre
// direction turned by +-asin(radius / distance), at the tangent length) or,
// where such a point lies behind the near plane, where the circle crosses
// that line.
glm::vec2 outlineAlongAxis(float a, float z, float radius, float nearPlane, float scale, float shift)
{
    const float distance2 = a * a + z * z;
    if (distance2 <= radius * radius)
        return glm::vec2(-1e6f, 1e6f); // the eye is inside: every direction
    glm::vec2 range(1e30f, -1e30f);
    const auto take = [&](float pa, float pz) {
        const float ndc = (scale * pa + shift * pz) / -pz;
        range = glm::vec2(std::min(range.x, ndc), std::max(range.y, ndc));
    };
    const float sine = radius / std::sqrt(distance2);
    const float cosine = std::sqrt(std::max(1.0f - sine * sine, 0.0f));
    for (float s : {sine, -sine}) {
        const float ta = cosine * (cosine * a - s * z);
        const float tz = cosine * (s * a + cosine * z);
        if (tz < -nearPlane)
            take(ta, tz);
    }
    const float offNear = z + nearPlane;
    if (std::abs(offNear) < radius) {
        const float half = std::sqrt(radius * radius - offNear * offNear);
        take(a - half, -nearPlane);
        take(a + half, -nearPlane);
    }
    return range;
}

// Adds `region` to the disjoint rectangles `regions`.
void addRegion(std::vector<glm::ivec4>& regions, glm::ivec4 region)
{
    // A region that overlaps others absorbs them into their common bounding
    // rectangle, which is checked against the rest once more, so the list
    // stays disjoint and no pixel is shaded or cleared twice.
    for (size_t i = 0; i < regions.size();) {
        const glm::ivec4 other = regions[i];
        const bool overlap = region.x < other.x + other.z && other.x < region.x + region.z &&
                             region.y < other.y + other.w && other.y < region.y + region.w;
        if (!overlap) {
            ++i;
            continue;
        }
        const glm::ivec2 first = glm::min(glm::ivec2(region), glm::ivec2(other));
        const glm::ivec2 last = glm::max(glm::ivec2(region) + glm::ivec2(region.z, region.w),
                                         glm::ivec2(other) + glm::ivec2(other.z, other.w));
        region = glm::ivec4(first, last - first);
        regions.erase(regions.begin() + static_cast<std::ptrdiff_t>(i));
        i = 0;
    }
    regions.push_back(region);
}

} // namespace

RefractionCaptures::RefractionCaptures(int width, int height)
    : width(width), height(height)
{
    testQuadShader = Shader::build("shader/testquad.vert", "shader/testquad.frag");
    normalPrograms = std::make_unique<ProgramVariants>(ProgramVariants::Normal, "shader/normal.vert",
                                                       "shader/normal.frag");
    refractionFrontTarget = std::make_shared<PostProcFramebuffer>(width, height, testQuadShader);
    refractionBackTarget = std::make_shared<PostProcFramebuffer>(width, height, testQuadShader);
    rrTestPrograms = std::make_unique<ProgramVariants>(ProgramVariants::Reflection, "shader/rrTest.vert",
                                                       "shader/rrTest.frag");
    reflectionRefractionTarget = std::make_shared<PostProcFramebuffer>(width, height, testQuadShader);
}

RefractionCaptures::~RefractionCaptures() = default;

void RefractionCaptures::buildPrograms(const std::vector<std::shared_ptr<Model>>& models)
{
    normalPrograms->build(models, true);
    rrTestPrograms->build(models, true);
}

void RefractionCaptures::setPassUniforms(ProgramVariants& programs, Scene& scene, const glm::mat4& view,
                                         const glm::mat4& projection)
{
    programs.build(scene.getModels(), true);
    for (const auto& entry : programs.getPrograms()) {
        entry.second->use();
        entry.second->setMat4("view", view);
        entry.second->setMat4("projection", projection);
    }
}

void RefractionCaptures::render(Scene& scene, const glm::mat4& view, const glm::mat4& projection)
{
    findGlassRegions(scene, view, projection);
    // The regions hold every pixel a transparent model can reach, so outside
    // last frame's and this frame's the targets already hold the clear
    // values, and with no region the draws would leave them untouched.
    staleRegions.clear();
    for (const glm::ivec4& region : drawnRegions)
        addRegion(staleRegions, region);
    for (const glm::ivec4& region : glassRegions)
        addRegion(staleRegions, region);
    const bool glassOnScreen = !glassRegions.empty();

    // Front faces: normal and colour of the nearest transparent surface.
    // (Nothing is built once the variants the glass needs exist.)
    if (glassOnScreen)
        setPassUniforms(*normalPrograms, scene, view, projection);
    prepare(*refractionFrontTarget);
    if (glassOnScreen)
        scene.draw(*normalPrograms, true);

    // Back faces, with the matrices still set from the front capture: the
    // far side of the nearest transparent body.
    glCullFace(GL_FRONT);
    prepare(*refractionBackTarget);
    if (glassOnScreen)
        scene.draw(*normalPrograms, true);
    glCullFace(GL_BACK);

    // Front faces again: each body's colour and its material terms.
    if (glassOnScreen)
        setPassUniforms(*rrTestPrograms, scene, view, projection);
    prepare(*reflectionRefractionTarget);
    if (glassOnScreen)
        scene.draw(*rrTestPrograms, true);
    reflectionRefractionTarget->unbind();

    drawnRegions = glassRegions;
    targetsCleared = true;
}

void RefractionCaptures::prepare(PostProcFramebuffer& target)
{
    if (!targetsCleared)
        target.bindAndClear();
    else if (!staleRegions.empty())
        target.bindAndClearRegions(staleRegions);
    else
        target.bind();
}

void RefractionCaptures::findGlassRegions(Scene& scene, const glm::mat4& view, const glm::mat4& projection)
{
    glassRegions.clear();
    // Near plane distance of the perspective projection.
    const float nearPlane = projection[3][2] / (projection[2][2] - 1.0f);
    const glm::vec2 size(static_cast<float>(width), static_cast<float>(height));
    for (const std::shared_ptr<Model>& model : scene.getModels()) {
        if (!model->isTransparent())
            continue;
        // Model matrices scale uniformly by the model's scale, then turn and
        // move: a mesh's radius grows by that scale.
        const float radiusScale = std::abs(model->getScale());
        const glm::mat4 modelView = view * model->modelMatrix();
        const glm::mat4 modelViewProjection = projection * modelView;
        for (const std::shared_ptr<Mesh>& mesh : model->getMeshes()) {
            glm::vec2 low;
            glm::vec2 high;
            if (!projectedBounds(*mesh, modelViewProjection, nearPlane, low, high)) {
                const glm::vec4 sphere = boundingSphere(*mesh);
                if (sphere.w < 0.0f)
                    continue;
                const glm::vec3 centre = glm::vec3(modelView * glm::vec4(glm::vec3(sphere), 1.0f));
                const float radius = sphere.w * radiusScale;
                if (centre.z - radius >= -nearPlane)
                    continue; // wholly behind the near plane
                // The outline on screen lies between the planes through the
                // eye that touch the sphere's visible part, one pair for x
                // and one for y.
                const glm::vec2 x = outlineAlongAxis(centre.x, centre.z, radius, nearPlane, projection[0][0],
                                                     projection[2][0]);
                const glm::vec2 y = outlineAlongAxis(centre.y, centre.z, radius, nearPlane, projection[1][1],
                                                     projection[2][1]);
                if (x[0] > x[1] || y[0] > y[1])
                    continue;
                low = glm::vec2(x[0], y[0]);
                high = glm::vec2(x[1], y[1]);
            }
            const glm::vec2 first = glm::clamp(glm::floor((low * 0.5f + 0.5f) * size) - 1.0f, glm::vec2(0.0f), size);
            const glm::vec2 last = glm::clamp(glm::ceil((high * 0.5f + 0.5f) * size) + 1.0f, glm::vec2(0.0f), size);
            // Whole pixels, one to spare on each side, clipped to the window.
            const glm::ivec2 from(first);
            const glm::ivec2 to(last);
            if (to.x > from.x && to.y > from.y)
                addRegion(glassRegions, glm::ivec4(from, to - from));
        }
    }
}

void RefractionCaptures::drawComposite(const std::shared_ptr<PostProcFramebuffer>& target)
{
    target->copyColorTo(0);
    glEnable(GL_SCISSOR_TEST);
    // The full-screen quad is wound clockwise.
    glCullFace(GL_FRONT);
    for (const glm::ivec4& region : glassRegions) {
        glScissor(region.x, region.y, region.z, region.w);
        target->draw();
    }
    glCullFace(GL_BACK);
    glDisable(GL_SCISSOR_TEST);
}

void RefractionCaptures::bindForComposite(std::shared_ptr<Shader> composite)
{
    refractionFrontTarget->bindTextures(composite, 4, "refractionFrontNormal", "refractionFrontDepth",
                                        "refractionFrontColor");
    refractionBackTarget->bindTextures(composite, 7, "refractionBackNormal", "refractionBackDepth",
                                       "refractionBackColor");
    reflectionRefractionTarget->bindTextures(composite, 10, "rrColor", "rrDepth", "reflectionRefraction");
}
