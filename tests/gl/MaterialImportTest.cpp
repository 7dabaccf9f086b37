// What the loader makes of everything a model file says about its look: the
// colour source and its factor, the feature bits with their values, tangents,
// skins and shared images. Files are written here; the meshes, materials and
// textures are read back.
#include "GlContext.h"
#include "ModelFiles.h"
#include "TempDir.h"
#include "render/Mesh.h"
#include "render/Model.h"
#include "render/ModelLoader.h"
#include "render/StbTexture.h"

#include <gtest/gtest.h>

#include <functional>
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

const std::vector<unsigned char> green{0, 255, 0, 255}, blue{0, 0, 255, 255}, red{255, 0, 0, 255};

// Only the diffuse (base-colour) image is the colour; without one, or when it
// cannot be loaded, the material's own colour is; the format's colour factor
// multiplies the image and nothing else.
TEST_F(MaterialImport, ColourComesFromTheDiffuseImageTimesTheFormatsFactorElseFromTheMaterialsColour)
{
    png("green.png", green);
    png("cyan.png", {0, 255, 255, 255});
    const struct {
        std::string path;
        std::vector<unsigned char> colour;
        glm::vec4 factor;
    } cases[] = {
        // Kd beside map_Kd is a display colour: 0.5 is 0.214 in linear light.
        {obj("tinted", "Kd 0.5 1 1\nmap_Kd green.png\n"), green, {0.214f, 1, 1, 1}},
        // Assimp's 0.6 grey for an unstated Kd does not tint.
        {obj("plain", "map_Kd green.png\n"), green, {1, 1, 1, 1}},
        // A specular map is never the colour.
        {obj("specular", "Kd 0 0 1\nmap_Ks cyan.png\n"), blue, {1, 1, 1, 1}},
        // A missing image shows the material's colour, not tinted twice.
        {obj("missing", "Kd 1 0 0\nmap_Kd absent.png\n"), red, {1, 1, 1, 1}},
        {[this] {
             GltfQuad quad;
             quad.images = {"green.png"};
             quad.material = R"({"pbrMetallicRoughness":{"baseColorFactor":[0.5,0.25,1,1],"baseColorTexture":{"index":0}}})";
             return writeGltf(dir, quad);
         }(),
         green, {0.5f, 0.25f, 1, 1}},
    };
    for (const auto& c : cases) {
        const std::shared_ptr<Model> model = load(c.path);
        ASSERT_EQ(model->getMeshes().size(), 1u) << c.path << errors;
        const Material& material = model->getMeshes()[0]->getMaterial();
        EXPECT_EQ(texel(material.colorTexture), c.colour) << c.path;
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(material.baseColorFactor[i], c.factor[i], 1e-3f) << c.path << " factor " << i;
    }
    EXPECT_NE(output.find("Failed to load texture " + dir.file("absent.png")), std::string::npos) << output;
}

// Each feature bit, set from what its file states, with its values; a file
// stating the defaults (as the shipped scene does) sets none.
TEST_F(MaterialImport, FeaturesAndTheirValuesFollowWhatTheFileStates)
{
    png("white.png", {255, 255, 255, 255});
    png("seethrough.png", {255, 255, 255, 128});
    png("grey.png", {200, 200, 200, 255});
    png("normals.png", {128, 128, 255, 255});
    int serial = 0;
    const auto gltf = [&](const std::string& material, std::vector<std::string> images = {},
                          std::vector<float> colors = {}) {
        GltfQuad quad;
        quad.material = material;
        quad.images = std::move(images);
        quad.colors = std::move(colors);
        return writeGltf(dir, quad, "m" + std::to_string(serial++));
    };
    dir.write("grey.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                          "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
                          "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                          "0 0 0 128 128 128\n1 0 0 128 128 128\n0 0 -1 128 128 128\n3 0 1 2\n");
    using Check = std::function<void(const Mesh&)>;
    const auto none = [](const Mesh&) {};
    const struct {
        std::string path;
        unsigned features;
        Check check;
    } cases[] = {
        {obj("shipped", "Kd 1 1 1\nKs 0.25 0.25 0.25\nNs 48\nd 1\nmap_Kd white.png\n"), 0, none},
        {obj("matte", "Ks 0 0 0\nNs 10\n"), ClassicSpecular,
         [](const Mesh& m) { EXPECT_EQ(m.getMaterial().specularColor, glm::vec3(0.0f)); }},
        {obj("shiny", "Ks 0.5 0.5 0.5\nNs 20\n"), ClassicSpecular,
         [](const Mesh& m) {
             EXPECT_EQ(m.getMaterial().specularColor, glm::vec3(0.5f));
             EXPECT_EQ(m.getMaterial().shininess, 20.0f);
         }},
        {obj("half", "d 0.5\n"), AlphaBlend, [](const Mesh& m) { EXPECT_EQ(m.getMaterial().baseColorFactor.a, 0.5f); }},
        {obj("cutout", "map_Kd seethrough.png\n"), AlphaBlend, none},
        {obj("glow", "Ke 1 0 0\n"), Emissive,
         [](const Mesh& m) {
             EXPECT_EQ(m.getMaterial().emissiveFactor, glm::vec3(1, 0, 0));
             EXPECT_EQ(texel(m.getMaterial().emissiveTexture), (std::vector<unsigned char>{255, 255, 255, 255}));
         }},
        // A bump map given as map_bump is no normal map; a real one is,
        // with a tangent per vertex.
        {obj("bump", "map_bump grey.png\n"), 0, [](const Mesh& m) { EXPECT_TRUE(m.getExtras().tangents.empty()); }},
        {obj("normal", "map_bump normals.png\n"), NormalMap,
         [](const Mesh& m) {
             EXPECT_EQ(m.getExtras().tangents.size(), m.getVertices().size());
             EXPECT_EQ(texel(m.getMaterial().normalTexture), (std::vector<unsigned char>{128, 128, 255, 255}));
         }},
        // Display colours are decoded: 128 is 0.216 in linear light. PLY's
        // reader marks every material two-sided.
        {dir.file("grey.ply"), VertexColors | TwoSided,
         [](const Mesh& m) { EXPECT_NEAR(m.getExtras().colors.at(2).g, 0.216f, 1e-3f); }},
        // glTF's COLOR_0 is linear already.
        {gltf("{}", {}, std::vector<float>(16, 0.5f)), VertexColors | MetalRoughness,
         [](const Mesh& m) { EXPECT_EQ(m.getExtras().colors.at(3), glm::vec4(0.5f)); }},
        {gltf(R"({"alphaMode":"MASK","alphaCutoff":0.3})"), AlphaMask | MetalRoughness,
         [](const Mesh& m) { EXPECT_EQ(m.getMaterial().alphaCutoff, 0.3f); }},
        {gltf(R"({"alphaMode":"BLEND","pbrMetallicRoughness":{"baseColorFactor":[1,1,1,0.4]}})"), AlphaBlend | MetalRoughness,
         [](const Mesh& m) { EXPECT_EQ(m.getMaterial().baseColorFactor.a, 0.4f); }},
        // glTF's OPAQUE ignores the texture's alpha.
        {gltf(R"({"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}})", {"seethrough.png"}), MetalRoughness, none},
        {gltf(R"({"doubleSided":true})"), TwoSided | MetalRoughness, none},
        {gltf(R"({"emissiveFactor":[1,0.5,0]})"), Emissive | MetalRoughness,
         [](const Mesh& m) { EXPECT_EQ(m.getMaterial().emissiveFactor, glm::vec3(1, 0.5f, 0)); }},
        {gltf(R"({"pbrMetallicRoughness":{"metallicFactor":0.25,"roughnessFactor":0.75,)"
              R"("metallicRoughnessTexture":{"index":0}}})",
              {"normals.png"}),
         MetalRoughness,
         [](const Mesh& m) {
             EXPECT_EQ(m.getMaterial().metallic, 0.25f);
             EXPECT_EQ(m.getMaterial().roughness, 0.75f);
             EXPECT_EQ(texel(m.getMaterial().metalRoughnessTexture), (std::vector<unsigned char>{128, 128, 255, 255}));
         }},
        // glTF's normalTexture is a normal map by definition.
        {gltf(R"({"normalTexture":{"index":0,"scale":0.5}})", {"grey.png"}), NormalMap | MetalRoughness,
         [](const Mesh& m) {
             EXPECT_EQ(m.getMaterial().normalScale, 0.5f);
             EXPECT_EQ(m.getExtras().tangents.size(), m.getVertices().size());
         }},
    };
    for (const auto& c : cases) {
        const std::shared_ptr<Model> model = load(c.path);
        ASSERT_EQ(model->getMeshes().size(), 1u) << c.path << errors;
        const Mesh& mesh = *model->getMeshes()[0];
        EXPECT_EQ(mesh.getMaterial().features, c.features) << c.path;
        c.check(mesh);
    }
}

// Tangents point along growing u and their handedness puts the bitangent up
// the image, after the importer's uv flip and any mirroring node, so a map
// texel leaning towards +x (+u) or +y (up the image) leans the normal that
// way in the world. The file's own tangents are taken as they are.
TEST_F(MaterialImport, TangentsFollowUAndUpTheImageInTheWorld)
{
    png("normals.png", {128, 128, 255, 255});
    const std::string normalMap = R"({"normalTexture":{"index":0}})";
    const auto quad = [&](const std::string& nodes, std::vector<float> tangents, const std::string& name) {
        GltfQuad q;
        q.material = normalMap;
        q.images = {"normals.png"};
        q.nodes = nodes;
        q.tangents = std::move(tangents);
        return writeGltf(dir, q, name);
    };
    std::vector<float> fileTangents;
    for (int i = 0; i < 4; ++i)
        fileTangents.insert(fileTangents.end(), {1, 0, 0, -1});
    const struct {
        std::string path;
        glm::vec3 alongU, upImage;
    } cases[] = {
        // OBJ's vt runs up the image: v = 1 at z = -1.
        {obj("bumpy", "map_bump normals.png\n"), {1, 0, 0}, {0, 0, -1}},
        {quad(R"({"mesh":0})", {}, "plain"), {1, 0, 0}, {0, 0, -1}},
        {quad(R"({"mesh":0,"scale":[-1,1,1]})", {}, "mirrored"), {-1, 0, 0}, {0, 0, -1}},
        // Handedness -1 in the file: its bitangent is +z.
        {quad(R"({"mesh":0})", fileTangents, "tangents"), {1, 0, 0}, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        const std::shared_ptr<Model> model = load(c.path);
        ASSERT_EQ(model->getMeshes().size(), 1u) << c.path << errors;
        const Mesh& mesh = *model->getMeshes()[0];
        ASSERT_TRUE(mesh.getMaterial().has(NormalMap)) << c.path;
        ASSERT_EQ(mesh.getExtras().tangents.size(), mesh.getVertices().size()) << c.path;
        for (std::size_t v = 0; v < mesh.getVertices().size(); ++v) {
            const glm::vec3 n = mesh.getVertices()[v].normal;
            const glm::vec4 t = mesh.getExtras().tangents[v];
            EXPECT_GT(glm::dot(glm::vec3(t), c.alongU), 0.99f) << c.path << " vertex " << v;
            EXPECT_GT(glm::dot(t.w * glm::cross(n, glm::vec3(t)), c.upImage), 0.99f) << c.path << " vertex " << v;
        }
    }
}

// A skinned mesh stands where its joints hold it: a joint node at x = 3
// carries the weighted corners there, while the skinned mesh's own node (at
// z = 10) moves only the corner without weights.
TEST_F(MaterialImport, SkinnedVerticesArePosedByTheirJointsAndUnweightedOnesByTheirNode)
{
    GltfQuad quad;
    quad.nodes = R"({"children":[1,2]},{"mesh":0,"skin":0,"translation":[0,0,10]},{"translation":[3,0,0]})";
    quad.skins = R"([{"joints":[2],"inverseBindMatrices":BIND}])";
    quad.joints.assign(16, 0);
    quad.weights = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    const std::shared_ptr<Model> model = load(writeGltf(dir, quad));
    ASSERT_EQ(model->getMeshes().size(), 1u) << errors << output;
    const std::vector<glm::vec3> expected = {{2.5f, 0, 0.5f}, {3.5f, 0, 0.5f}, {3.5f, 0, -0.5f}, {-0.5f, 0, 9.5f}};
    for (const glm::vec3& corner : expected) {
        bool found = false;
        for (const Vertex& vertex : model->getMeshes()[0]->getVertices())
            found = found || glm::distance(vertex.position, corner) < 1e-5f;
        EXPECT_TRUE(found) << corner.x << ", " << corner.y << ", " << corner.z;
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
