#include "AssetGenerator.h"

#include "ArchitectureModels.h"
#include "ObjWriter.h"
#include "PropModels.h"
#include "ShippedScene.h"
#include "SkyRenderer.h"
#include "TextureGenerator.h"
#include "TgaWriter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

class Output {
public:
    explicit Output(const std::string& root) : root(root) {}

    std::string prepare(const std::string& relative)
    {
        const fs::path target = fs::path(root) / relative;
        fs::create_directories(target.parent_path());
        written.push_back(relative);
        return target.string();
    }
    void text(const std::string& relative, const std::string& content)
    {
        std::ofstream out(prepare(relative), std::ios::binary);
        out << content;
        check(static_cast<bool>(out), relative);
    }
    static void check(bool ok, const std::string& relative)
    {
        if (!ok)
            throw std::runtime_error("velmora-assetgen: cannot write " + relative);
    }

    std::string root;
    std::vector<std::string> written;
};

void writeModels(Output& out)
{
    struct ObjModel {
        const char* name;
        void (*build)(MeshBuilder&);
    };
    for (const ObjModel& model : {ObjModel{"ground", buildGround}, ObjModel{"crate", buildCrate},
                                  ObjModel{"colonnade", buildColonnade}, ObjModel{"arch", buildArch},
                                  ObjModel{"pedestal", buildPedestal}, ObjModel{"fountain", buildFountain},
                                  ObjModel{"teapot", buildGlassTeapot}, ObjModel{"torusknot", buildTorusKnot},
                                  ObjModel{"glass_sphere", buildGlassSphere}}) {
        MeshBuilder mesh;
        model.build(mesh);
        const std::string base = std::string("models/") + model.name;
        out.text(base + ".obj", ObjWriter::objText(model.name, mesh));
        out.text(base + ".mtl", ObjWriter::mtlText(mesh));
    }

    for (const TextureGenerator::Named& texture : TextureGenerator::all()) {
        const std::string relative = "models/textures/" + texture.file;
        Output::check(texture.image.writePng(out.prepare(relative)), relative);
    }
}

void writeSky(Output& out)
{
    SkyRenderer::Settings settings;
    settings.moonDirection = ShippedScene::moonDirection();
    settings.bandNormal = glm::normalize(glm::vec3(-0.6f, 0.35f, 0.6f));
    settings.seed = 20240611;
    const SkyRenderer sky(settings);
    for (int face = 0; face < 6; ++face) {
        const std::string relative = std::string("skybox/mnight/mnight_") + SkyRenderer::faceSuffix(face) + ".tga";
        Output::check(TgaWriter::write(out.prepare(relative), sky.renderFace(face), sky.dither(face)), relative);
    }
}

} // namespace

std::vector<std::string> AssetGenerator::generate(const std::string& assetsFolder)
{
    Output out(assetsFolder);
    const ShippedScene scene;
    out.text("scene.txt", scene.sceneText());
    out.text("animationpath.txt", scene.pathText());
    writeModels(out);
    writeSky(out);
    std::sort(out.written.begin(), out.written.end());
    return out.written;
}
