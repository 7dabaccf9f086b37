#include "ViewScene.h"

#include "ViewFraming.h"

#include "camera/Camera.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "scene/ConfigSection.h"
#include "scene/Scene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>

namespace fs = std::filesystem;

namespace {

// Section names sort in this order: the models in the order of the files,
// the ground last (the depth test then skips its pixels behind them).
std::string modelName(std::size_t index)
{
    char name[32];
    std::snprintf(name, sizeof name, "model%06zu", index);
    return name;
}
const char* const groundName = "zz_ground";

// Round-trips a float through the section text exactly.
std::string text(float value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}
std::string text(const glm::vec3& v) { return text(v.x) + "," + text(v.y) + "," + text(v.z); }

ConfigSection section(const std::string& name, int kind, std::map<std::string, std::string> values)
{
    ConfigSection result;
    result.name = name;
    result.kind = kind;
    result.values = std::move(values);
    return result;
}

// The models' extent as the files place them after the rotation: from every
// vertex through the model's matrix.
struct Extent {
    glm::vec3 low{std::numeric_limits<float>::max()};
    glm::vec3 high{-std::numeric_limits<float>::max()};
    bool empty() const { return low.x > high.x; }
};

template <typename Visit>
void forEachPoint(const std::vector<std::shared_ptr<Model>>& models, Visit visit)
{
    for (const std::shared_ptr<Model>& model : models) {
        const glm::mat4 matrix = model->modelMatrix();
        for (const std::shared_ptr<Mesh>& mesh : model->getMeshes())
            for (const Vertex& vertex : mesh->getVertices()) {
                const glm::vec3 p = glm::vec3(matrix * glm::vec4(vertex.position, 1.0f));
                if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z))
                    visit(p);
            }
    }
}

} // namespace

// A folder of its own holding the ground's model file: a grey square of
// half side 1 at y = 0, facing up (counter-clockwise seen from above), that
// the scene scales and places. Removed on destruction.
class ViewScene::GroundFile {
public:
    GroundFile()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora-view-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return;
        folder = pattern;
        std::ofstream(folder + "/ground.mtl") << "newmtl ground\nKd 0.42 0.42 0.42\n";
        std::ofstream obj(folder + "/ground.obj");
        obj << "mtllib ground.mtl\nusemtl ground\n"
               "v -1 0 1\nv 1 0 1\nv 1 0 -1\nv -1 0 -1\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 1 0\n"
               "f 1/1/1 2/2/1 3/3/1 4/4/1\n";
        if (!obj)
            folder.clear();
    }
    ~GroundFile()
    {
        std::error_code ignored;
        if (!folder.empty())
            fs::remove_all(folder, ignored);
    }
    GroundFile(const GroundFile&) = delete;
    GroundFile& operator=(const GroundFile&) = delete;

    // Empty when the file could not be written.
    std::string path() const { return folder.empty() ? std::string() : folder + "/ground.obj"; }

private:
    std::string folder;
};

ViewScene::ViewScene(std::vector<std::string> files, const glm::vec3& rotation)
    : files(std::move(files)), rotation(rotation)
{
}

ViewScene::~ViewScene() = default;

void ViewScene::prefetch(Scene& scene)
{
    prefetched = true;
    ground = std::make_unique<GroundFile>();
    std::map<std::string, ConfigSection> sections;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::map<std::string, std::string> values{{"path", files[i]}};
        if (rotation != glm::vec3(0.0f))
            values["rotation"] = text(rotation);
        sections.emplace(modelName(i), section(modelName(i), 0, values));
    }
    if (!ground->path().empty())
        sections.emplace(groundName, section(groundName, 0, {{"path", ground->path()}}));
    else
        std::cerr << "velmora-view: cannot write the ground's model file; the models show without ground" << std::endl;
    scene.prepare(sections, "velmora-view");
}

bool ViewScene::build(Scene& scene, Camera& camera)
{
    if (!prefetched)
        prefetch(scene);
    scene.finish();
    ground.reset();

    std::vector<std::shared_ptr<Model>> models = scene.getModels();
    std::shared_ptr<Model> groundModel;
    if (models.size() > files.size()) {
        groundModel = models.back();
        models.pop_back();
    }

    Extent extent;
    forEachPoint(models, [&](const glm::vec3& p) {
        extent.low = glm::min(extent.low, p);
        extent.high = glm::max(extent.high, p);
    });
    if (extent.empty()) {
        std::cerr << "velmora-view: no file gave a model to show" << std::endl;
        return false;
    }
    // The box's centre, and the sphere about it through the farthest vertex.
    const glm::vec3 centre = 0.5f * (extent.low + extent.high);
    float farthest2 = 0.0f;
    forEachPoint(models, [&](const glm::vec3& p) {
        const glm::vec3 d = p - centre;
        farthest2 = std::max(farthest2, glm::dot(d, d));
    });
    const ViewFraming framing(centre, std::sqrt(farthest2), extent.low.y);

    for (const std::shared_ptr<Model>& model : models) {
        model->setScale(framing.modelScale());
        model->setPosition(framing.modelPosition());
    }
    if (groundModel) {
        groundModel->setScale(framing.groundHalfSize());
        groundModel->setPosition(glm::vec3(0.0f, framing.groundHeight(), 0.0f));
    }

    const SpotLight key = framing.keyLight();
    const PointLight fill = framing.fillLight();
    const PointLight rim = framing.rimLight();
    std::map<std::string, ConfigSection> lights;
    // A dim, slightly blue ambient light, as under the night sky; no
    // particles.
    lights.emplace("ambient", section("ambient", 2,
                                      {{"ambientStrength", "0.22"},
                                       {"ambientColor", "0.85,0.9,1"},
                                       {"fountain", "off"},
                                       {"burst", "off"}}));
    lights.emplace("light1_key", section("light1_key", 1,
                                         {{"type", "1"},
                                          {"position", text(key.position)},
                                          {"direction", text(key.direction)},
                                          {"color", text(key.color)},
                                          {"innerRadius", text(key.innerRadius)},
                                          {"outerRadius", text(key.outerRadius)}}));
    lights.emplace("light2_fill", section("light2_fill", 1,
                                          {{"type", "0"}, {"position", text(fill.position)}, {"color", text(fill.color)}}));
    lights.emplace("light3_rim", section("light3_rim", 1,
                                         {{"type", "0"}, {"position", text(rim.position)}, {"color", text(rim.color)}}));
    scene.add(lights, "velmora-view");

    camera.setPath(framing.eyeTrack(), framing.targetTrack(), true);
    return true;
}
