#include "scene/Scene.h"

#include "render/Mesh.h"
#include "render/Model.h"
#include "render/ModelLoader.h"
#include "render/ProgramVariants.h"
#include "render/Shader.h"
#include "scene/ConfigSection.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

enum SectionKind { ModelSection = 0, LightSection = 1, AmbientSection = 2 };
enum LightType { PointLightType = 0, SpotLightType = 1 };

// An emitter key of the ambient section: absent gives `standard`, "off"
// switches the emitter off, anything else is read as a point.
Scene::Emitter emitterAt(const ConfigSection& section, const std::string& key, const glm::vec3& standard)
{
    if (!section.values.count(key))
        return {true, standard};
    if (section.getString(key) == "off")
        return {false, standard};
    return {true, section.getVec3(key)};
}

// Degrees to radians in single precision (pi / 180 as a float).
constexpr float radiansPerDegree = 0.017453292f;

} // namespace

struct Scene::Pending {
    std::map<std::string, ConfigSection> sections;
    std::string source;
    std::unique_ptr<ModelLoader> loader;
};

Scene::Scene() = default;
Scene::~Scene() = default;
Scene::Scene(Scene&&) noexcept = default;
Scene& Scene::operator=(Scene&&) noexcept = default;

void Scene::load(std::string path)
{
    prepare(std::move(path));
    finish();
}

void Scene::add(const std::map<std::string, ConfigSection>& sections, const std::string& source)
{
    prepare(sections, source);
    finish();
}

void Scene::prepare(std::string path)
{
    std::map<std::string, ConfigSection> sections;
    readConfigFile(sections, path);
    prepare(sections, path);
}

void Scene::prepare(const std::map<std::string, ConfigSection>& sections, const std::string& source)
{
    // Child processes import the model files ahead, in the order finish()
    // takes the sections, while the viewer goes on.
    Pending next{sections, source, std::make_unique<ModelLoader>()};
    std::vector<std::string> modelPaths;
    for (const auto& entry : sections)
        if (entry.second.kind == ModelSection)
            modelPaths.push_back(entry.second.getString("path"));
    next.loader->prefetch(modelPaths);
    pending.push_back(std::move(next));
}

void Scene::finish()
{
    std::vector<Pending> sets = std::move(pending);
    pending.clear();
    for (Pending& set : sets) {
        for (const auto& entry : set.sections) {
            const ConfigSection& section = entry.second;
            // The getters name the section, key and text of a bad number;
            // the file name is added here so the one-line report says where
            // to look.
            try {
                loadSection(section, *set.loader);
            } catch (const std::invalid_argument& error) {
                throw std::invalid_argument(set.source + ": " + error.what());
            } catch (const std::out_of_range& error) {
                throw std::out_of_range(set.source + ": " + error.what());
            }
        }
        // The import processes end here, each model made.
        set.loader.reset();
    }
}

void Scene::loadSection(const ConfigSection& section, ModelLoader& loader)
{
    if (section.kind == LightSection) {
        const int type = section.getInt("type");
        if (type == PointLightType) {
            pointLights.push_back(PointLight{section.getVec3("position"), section.getVec3("color")});
        } else if (type == SpotLightType) {
            const glm::vec3 position = section.getVec3("position");
            const glm::vec3 direction = section.getVec3("direction");
            const glm::vec3 color = section.getVec3("color");
            const float innerRadius = section.getFloat("innerRadius");
            const float outerRadius = section.getFloat("outerRadius");
            spotLights.push_back(SpotLight{position, direction, color, innerRadius, outerRadius});
        }
    } else if (section.kind == ModelSection) {
        std::shared_ptr<Model> model = loader.loadModel(section.getString("path"));
        const glm::vec3 position = section.getVec3("position");
        model->setTransparency(section.getFloat("transparency"));
        model->setRefraction(section.getFloat("refraction"));
        model->setReflection(section.getFloat("reflection"));
        model->setPosition(position);
        model->setAxis(section.getVec3("axis"));
        model->setSpeed(section.getFloat("speed"));
        // Optional: a model without these keys keeps its file's size and
        // orientation.
        if (section.values.count("scale"))
            model->setScale(section.getFloat("scale"));
        if (section.values.count("rotation"))
            model->setRotation(section.getVec3("rotation"));
        models.push_back(model);
    } else if (section.kind == AmbientSection) {
        ambientStrength = section.getFloat("ambientStrength");
        ambientColor = section.getVec3("ambientColor");
        fountain = emitterAt(section, "fountain", glm::vec3(-6.0f, 1.0f, 2.0f));
        burst = emitterAt(section, "burst", glm::vec3(5.0f, 25.0f, 5.0f));
    }
}

void Scene::update(float deltaTime)
{
    for (const std::shared_ptr<Model>& model : models)
        model->update(deltaTime);
}

const std::vector<Scene::LightUniformNames>& Scene::uniformNames(std::vector<LightUniformNames>& table,
                                                                 const char* array, std::size_t count)
{
    // Built once per index ("pointLights[11].position", decimal index): the
    // lights do not change after loading, so drawing allocates nothing.
    while (table.size() < count) {
        const std::string prefix = array + ("[" + std::to_string(table.size()) + "]");
        table.push_back({prefix + ".position", prefix + ".color", prefix + ".direction", prefix + ".innerRadius",
                         prefix + ".outerRadius"});
    }
    return table;
}

void Scene::draw(std::shared_ptr<Shader> shader, bool transparentPass)
{
    setLights(*shader);
    for (const std::shared_ptr<Model>& model : models)
        model->draw(shader, transparentPass);
}

void Scene::draw(ProgramVariants& programs, bool transparentPass)
{
    for (const auto& entry : programs.getPrograms()) {
        entry.second->use();
        setLights(*entry.second);
    }
    programs.resetCurrent();
    for (const std::shared_ptr<Model>& model : models)
        model->draw(programs, transparentPass, !transparentPass);
}

void Scene::drawBlended(ProgramVariants& programs, const glm::mat4& view)
{
    blended.clear();
    // The camera sits at -transpose(R) * t for a view matrix of rotation R
    // and translation t.
    const glm::vec3 eye = -(glm::transpose(glm::mat3(view)) * glm::vec3(view[3]));
    for (const std::shared_ptr<Model>& model : models) {
        if (model->isTransparent())
            continue;
        for (const std::shared_ptr<Mesh>& mesh : model->getMeshes()) {
            if (!mesh->getMaterial().has(AlphaBlend))
                continue;
            auto centre = boundsCentres.find(mesh.get());
            if (centre == boundsCentres.end())
                centre = boundsCentres.emplace(mesh.get(), boundsCentre(*mesh)).first;
            const glm::vec3 world(model->modelMatrix() * glm::vec4(centre->second, 1.0f));
            blended.push_back({glm::distance(eye, world), model.get(), mesh.get()});
        }
    }
    if (blended.empty())
        return;
    // Farthest first, so each blends over what lies behind it.
    std::stable_sort(blended.begin(), blended.end(),
                     [](const BlendedMesh& a, const BlendedMesh& b) { return a.distance > b.distance; });
    glEnable(GL_BLEND);
    // The particles leave their GL_MAX equation behind.
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    programs.resetCurrent();
    for (const BlendedMesh& entry : blended)
        entry.model->drawBlendedMesh(programs, *entry.mesh);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

glm::vec3 Scene::boundsCentre(const Mesh& mesh)
{
    const std::vector<Vertex>& vertices = mesh.getVertices();
    if (vertices.empty())
        return glm::vec3(0.0f);
    glm::vec3 low = vertices.front().position, high = low;
    for (const Vertex& vertex : vertices) {
        low = glm::min(low, vertex.position);
        high = glm::max(high, vertex.position);
    }
    return 0.5f * (low + high);
}

void Scene::setLights(Shader& shader)
{
    shader.setInt("numPointLights", static_cast<int>(pointLights.size()));
    const auto& pointNames = uniformNames(pointLightNames, "pointLights", pointLights.size());
    for (std::size_t i = 0; i < pointLights.size(); ++i) {
        shader.setVec3(pointNames[i].position, pointLights[i].position);
        shader.setVec3(pointNames[i].color, pointLights[i].color);
    }

    shader.setInt("numSpotLights", static_cast<int>(spotLights.size()));
    const auto& spotNames = uniformNames(spotLightNames, "spotLights", spotLights.size());
    for (std::size_t i = 0; i < spotLights.size(); ++i) {
        const SpotLight& light = spotLights[i];
        shader.setVec3(spotNames[i].position, light.position);
        shader.setVec3(spotNames[i].direction, light.direction);
        shader.setVec3(spotNames[i].color, light.color);
        // The cone angles travel as cosines, taken in single precision.
        shader.setFloat(spotNames[i].innerRadius, std::cos(light.innerRadius * radiansPerDegree));
        shader.setFloat(spotNames[i].outerRadius, std::cos(light.outerRadius * radiansPerDegree));
    }

    shader.setVec3("ambientColor", ambientColor);
    shader.setFloat("ambientStrength", ambientStrength);
}
