// Scene loading from any file content: the reader, the scene file's schema
// (section kinds, light types, every getter the loader calls) and the model
// import's failure path, without an OpenGL context.
#include "FuzzSupport.h"

#include "render/Model.h"
#include "scene/ConfigSection.h"
#include "scene/Scene.h"

#include <cmath>
#include <map>
#include <stdexcept>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = writeFuzzFile(data, size, "scene.txt");

    // A model path naming a file on disk would import geometry, which needs a
    // GL context: such inputs are left to the gl tests. (scripts/fuzz.sh runs
    // in an empty folder, so the seeds' relative paths name nothing.)
    std::map<std::string, ConfigSection> sections;
    convertsCleanly([&] { readConfigFile(sections, path); });
    std::size_t modelSections = 0;
    std::size_t lightSections = 0;
    for (const auto& entry : sections) {
        struct stat info;
        if (stat(entry.second.getString("path").c_str(), &info) == 0)
            return 0;
        modelSections += entry.second.kind == 0;
        lightSections += entry.second.kind == 1;
    }

    Scene scene;
    if (!convertsCleanly([&] { scene.load(path); }))
        return 0;

    // A scene that loaded has one model per model section, each reported
    // and kept without meshes, and at most one light per light section.
    FUZZ_CHECK(scene.getModels().size() == modelSections);
    FUZZ_CHECK(scene.getPointLights().size() + scene.getSpotLights().size() <= lightSections);
    for (const auto& model : scene.getModels()) {
        FUZZ_CHECK(model != nullptr);
        FUZZ_CHECK(model->getMeshes().empty());
        // The model matrix of a turning model, whatever its axis, is what the
        // lit pass would upload.
        model->modelMatrix();
    }
    for (float step : {0.0f, 0.016f, 2.5f, 1.0e6f}) {
        scene.update(step);
        for (const auto& model : scene.getModels()) {
            FUZZ_CHECK(model->getSpeed() > 0.0f || model->getAngle() == 0.0f);
            model->modelMatrix();
        }
    }
    return 0;
}
