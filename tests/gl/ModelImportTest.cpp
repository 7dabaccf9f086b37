#include "GlContext.h"
#include "TempDir.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/ModelLoader.h"
#include "render/Shader.h"
#include "render/StbTexture.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

// Model import through Assimp and texture decoding, read back from the GPU.
namespace {

// A width x height PNG of `channels` bytes per pixel, every pixel `pixel`.
std::string writePng(const TempDir& dir, const std::string& name, int width, int height,
                     const std::vector<unsigned char>& pixel)
{
    std::vector<unsigned char> data;
    for (int i = 0; i < width * height; ++i)
        data.insert(data.end(), pixel.begin(), pixel.end());
    const int channels = static_cast<int>(pixel.size());
    stbi_write_png(dir.file(name).c_str(), width, height, channels, data.data(), width * channels);
    return dir.file(name);
}

// Texel 0 of level 0, RGBA.
std::vector<unsigned char> firstTexel(GLuint texture)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<unsigned char> texels(std::size_t(width) * height * 4);
    if (texels.empty())
        return texels;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    texels.resize(4);
    return texels;
}

// Two triangles, the OBJ objects "a" and "b", with material "m" of `mtl`.
const std::string twoTriangles = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nvt 1 1\nvn 0 0 1\n"
                                 "o a\nusemtl m\nf 1/1/1 2/2/1 3/3/1\no b\nusemtl m\nf 2/2/1 4/4/1 3/3/1\n";

class ModelImportTest : public GlTest {
protected:
    std::shared_ptr<Model> load(const std::string& name) { return loader.loadModel(dir.file(name)); }
    TempDir dir;
    ModelLoader loader;
};

TEST_F(ModelImportTest, VerticesReachTheGpuAsPositionNormalAndFlippedUv)
{
    dir.write("m.obj", "mtllib none.mtl\n" + twoTriangles);
    const std::shared_ptr<Model> model = load("m.obj");
    ASSERT_EQ(model->getMeshes().size(), 2u);
    const Mesh& mesh = *model->getMeshes()[1];
    // Attribute 0 reads the buffer of position, normal and uv (the
    // attributes' layout shows in ModelFileTest's pictures).
    glBindVertexArray(mesh.getVertexArray());
    GLint buffer = 0, elements = 0;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements);
    glBindVertexArray(0);
    // Triangle 2 4 3 of the file, uv flipped in v, the file's normal.
    std::vector<float> data(24);
    glBindBuffer(GL_ARRAY_BUFFER, GLuint(buffer));
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, 96, data.data());
    EXPECT_EQ(data, (std::vector<float>{1, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0}));
    std::vector<unsigned int> indices(3);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(elements));
    glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, 12, indices.data());
    EXPECT_EQ(indices, (std::vector<unsigned int>{0, 1, 2}));
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(ModelImportTest, MaterialTexturesComeInDiffuseSpecularNormalHeightOrderAsRgba)
{
    // In OBJ materials map_bump lands in Assimp's height slot and map_Ka in
    // its ambient slot. Grey, grey-alpha and RGB files all arrive as RGBA.
    writePng(dir, "d.png", 3, 2, {90});
    writePng(dir, "s.png", 3, 2, {90, 128});
    writePng(dir, "n.png", 3, 2, {10, 20, 30});
    writePng(dir, "h.png", 3, 2, {10, 20, 30, 40});
    dir.write("m.mtl", "newmtl m\nmap_Ka h.png\nmap_bump n.png\nmap_Ks s.png\nmap_Kd d.png\n");
    dir.write("m.obj", "mtllib m.mtl\n" + twoTriangles);
    const std::shared_ptr<Model> model = load("m.obj");
    ASSERT_FALSE(model->getMeshes().empty());
    const std::vector<Texture>& textures = model->getMeshes()[0]->getTextures();
    ASSERT_EQ(textures.size(), 4u);
    const char* types[] = {"texture_diffuse", "texture_specular", "texture_normal", "texture_height"};
    const std::vector<unsigned char> texels[] = {{90, 90, 90, 255}, {90, 90, 90, 128}, {10, 20, 30, 255}, {10, 20, 30, 40}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(textures[i].type, types[i]);
        EXPECT_EQ(firstTexel(textures[i].id), texels[i]) << types[i];
    }
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(ModelImportTest, MissingAndBrokenTexturesAreOneLineAndNoImage)
{
    dir.write("broken.png", "not an image");
    for (const std::string& path : {dir.file("missing.png"), dir.file("broken.png")}) {
        StbTexture texture;
        testing::internal::CaptureStdout();
        texture.loadTexture2D(path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to load texture " + path + "\n");
        EXPECT_FALSE(texture.hasImage());
    }
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

} // namespace
