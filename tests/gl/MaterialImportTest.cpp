// What the loader makes of a model file that no picture shows: which
// program features a plain file asks for, and images shared between meshes.
// Files are written here; the meshes, materials and textures are read back.
#include "GlContext.h"
#include "ModelFiles.h"
#include "TempDir.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/ModelLoader.h"
#include "render/StbTexture.h"

#include <gtest/gtest.h>

#include <set>

namespace {

class MaterialImport : public GlTest {
protected:
    // The model at `path`; its console output is added to `output` and `errors`.
    std::shared_ptr<Model> load(const std::string& path)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        std::shared_ptr<Model> model = loader.loadModel(path);
        output += testing::internal::GetCapturedStdout();
        errors += testing::internal::GetCapturedStderr();
        return model;
    }
    // The texel of a 1 x 1 texture, RGBA.
    static std::vector<unsigned char> texel(GLuint texture)
    {
        const std::vector<unsigned char> bytes = textureBytes(texture, 1, 1, GL_RGBA);
        return {bytes.begin(), bytes.begin() + 4};
    }
    // A 1 x 1 PNG of one RGBA colour in `dir`.
    void png(const std::string& name, const std::vector<unsigned char>& rgba) const
    {
        dir.write(name, pngFile(1, 1, rgba));
    }
    // One triangle with uvs using material m of `mtl`.
    std::string obj(const std::string& name, const std::string& mtl) const
    {
        dir.write(name + ".mtl", "newmtl m\n" + mtl);
        dir.write(name + ".obj", "mtllib " + name + ".mtl\nv 0 0 0\nv 1 0 0\nv 0 0 -1\nvt 0 0\nvt 1 0\nvt 0 1\n"
                                 "vn 0 1 0\nusemtl m\nf 1/1/1 2/2/1 3/3/1\n");
        return dir.file(name + ".obj");
    }

    TempDir dir;
    ModelLoader loader;
    std::string output, errors;
};

const std::vector<unsigned char> green{0, 255, 0, 255}, blue{0, 0, 255, 255};

// A file that asks for nothing beyond today's look (the shipped scene's
// materials state the default highlight), or a glTF OPAQUE material whose
// image has alpha, switches on no program feature beyond its format's.
TEST_F(MaterialImport, FilesStatingTheDefaultsAskForNoFeature)
{
    png("white.png", {255, 255, 255, 255});
    png("seethrough.png", {255, 255, 255, 128});
    GltfQuad opaque;
    opaque.material = R"({"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}})";
    opaque.images = {"seethrough.png"};
    const std::pair<std::string, unsigned> cases[] = {
        {obj("shipped", "Kd 1 1 1\nKs 0.25 0.25 0.25\nNs 48\nd 1\nmap_Kd white.png\n"), 0u},
        {writeGltf(dir, opaque), unsigned(MetalRoughness)},
    };
    for (const auto& [path, features] : cases) {
        const std::shared_ptr<Model> model = load(path);
        ASSERT_EQ(model->getMeshes().size(), 1u) << path << errors;
        EXPECT_EQ(model->getMeshes()[0]->getMaterial().features, features) << path;
    }
}

// One image, named by two materials of one file and by a second file, and
// one embedded image drawn by two nodes: one texture each, and none decoded
// by the viewer itself.
TEST_F(MaterialImport, AnImageUsedByManyMeshesIsUploadedOnceAndNeverDecodedByTheViewer)
{
    png("shared.png", green);
    const std::string groups = "v 0 0 0\nv 1 0 0\nv 0 0 -1\nvt 0 0\nusemtl a\nf 1/1 2/1 3/1\nusemtl b\nf 1/1 3/1 2/1\n";
    dir.write("two.mtl", "newmtl a\nmap_Kd shared.png\nnewmtl b\nKd 1 0 0\nmap_Kd ./shared.png\n");
    dir.write("one.obj", "mtllib two.mtl\n" + groups);
    dir.write("other.obj", "mtllib two.mtl\n" + groups);
    GltfQuad quad;
    quad.embedded = pngFile(1, 1, blue);
    quad.material = R"({"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}})";
    quad.nodes = R"({"mesh":0,"children":[1]},{"mesh":0,"translation":[2,0,0]})";
    const std::string glb = writeGltf(dir, quad);

    const unsigned long before = StbTexture::decodeCount();
    std::vector<GLuint> objTextures, glbTextures;
    for (const std::string& path : {dir.file("one.obj"), dir.file("other.obj"), glb, glb}) {
        const std::shared_ptr<Model> model = load(path);
        for (const auto& mesh : model->getMeshes())
            (path == glb ? glbTextures : objTextures).push_back(mesh->getMaterial().colorTexture);
    }
    // Decoded by the import process; the viewer only uploads.
    EXPECT_EQ(StbTexture::decodeCount() - before, 0u);
    ASSERT_EQ(objTextures.size(), 4u) << errors;
    ASSERT_EQ(glbTextures.size(), 4u) << errors;
    EXPECT_EQ(std::set<GLuint>(objTextures.begin(), objTextures.end()).size(), 1u);
    EXPECT_EQ(std::set<GLuint>(glbTextures.begin(), glbTextures.end()).size(), 1u)
        << glbTextures[0] << " " << glbTextures[1] << " " << glbTextures[2] << " " << glbTextures[3];
    EXPECT_EQ(texel(glbTextures[0]), blue);
}

} // namespace
