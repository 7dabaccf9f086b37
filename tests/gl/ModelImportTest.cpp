#include "GlContext.h"
#include "TempDir.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/ModelLoader.h"
#include "render/StbTexture.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

// Material textures through Assimp and texture decoding, read back from the
// GPU. (Geometry, uvs and texture names show in ModelFileTest's pictures.)
namespace {

using ModelImport = GlTest;

TEST_F(ModelImport, MaterialTexturesComeInDiffuseSpecularNormalHeightOrderAsRgba)
{
    // In OBJ materials map_bump lands in Assimp's height slot and map_Ka in
    // its ambient slot. Grey, grey-alpha and RGB files all arrive as RGBA.
    TempDir dir;
    const char* files[] = {"d.png", "s.png", "n.png", "h.png"};
    const std::vector<unsigned char> pixels[] = {{90}, {90, 128}, {10, 20, 30}, {10, 20, 30, 40}};
    for (int i = 0; i < 4; ++i) {
        std::vector<unsigned char> data;
        for (int p = 0; p < 6; ++p)
            data.insert(data.end(), pixels[i].begin(), pixels[i].end());
        const int channels = static_cast<int>(pixels[i].size());
        stbi_write_png(dir.file(files[i]).c_str(), 3, 2, channels, data.data(), 3 * channels);
    }
    dir.write("m.mtl", "newmtl m\nmap_Ka h.png\nmap_bump n.png\nmap_Ks s.png\nmap_Kd d.png\n");
    dir.write("m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nusemtl m\nf 1/1 2/1 3/1\n");
    ModelLoader loader;
    const std::shared_ptr<Model> model = loader.loadModel(dir.file("m.obj"));
    ASSERT_FALSE(model->getMeshes().empty());
    const std::vector<Texture>& textures = model->getMeshes()[0]->getTextures();
    ASSERT_EQ(textures.size(), 4u);
    const char* types[] = {"texture_diffuse", "texture_specular", "texture_normal", "texture_height"};
    const std::vector<unsigned char> texels[] = {{90, 90, 90, 255}, {90, 90, 90, 128}, {10, 20, 30, 255}, {10, 20, 30, 40}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(textures[i].type, types[i]);
        const std::vector<unsigned char> read = textureBytes(textures[i].id, 3, 2, GL_RGBA);
        EXPECT_EQ(std::vector<unsigned char>(read.begin(), read.begin() + 4), texels[i]) << types[i];
    }
    EXPECT_TRUE(drainErrors().empty());
}

TEST_F(ModelImport, MissingAndBrokenTexturesAreOneLineAndNoImage)
{
    TempDir dir;
    dir.write("broken.png", "not an image");
    for (const std::string& path : {dir.file("missing.png"), dir.file("broken.png")}) {
        StbTexture texture;
        testing::internal::CaptureStdout();
        texture.loadTexture2D(path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to load texture " + path + "\n");
        EXPECT_FALSE(texture.hasImage());
    }
    EXPECT_TRUE(drainErrors().empty());
}

} // namespace
