#include "GlContext.h"
#include "TempDir.h"
#include "TestImages.h"
#include "render/StbTexture.h"

#include <gtest/gtest.h>

#include <memory>

// 2D textures decoded by stb_image: always uploaded as RGBA8 whatever the
// file holds, with the wrap and filter the caller asks for.
class TextureTest : public GlTest {
protected:
    TempDir dir;
};

TEST_F(TextureTest, GreyAndGreyAlphaAndRgbFilesAllArriveAsRgba)
{
    struct Case {
        int channels;
        std::vector<unsigned char> pixel;
        std::vector<unsigned char> expected;
    };
    const std::vector<Case> cases = {
        {1, {90}, {90, 90, 90, 255}},
        {2, {90, 128}, {90, 90, 90, 128}},
        {3, {10, 20, 30}, {10, 20, 30, 255}},
        {4, {10, 20, 30, 40}, {10, 20, 30, 40}},
    };
    for (const Case& c : cases) {
        // 3 x 2 pixels: rows of 3 grey bytes would not be 4-byte aligned if
        // the upload kept the file's channel count.
        const std::string path = writeSolidPng(dir, "c" + std::to_string(c.channels) + ".png", 3, 2, c.channels, c.pixel);
        auto texture = std::make_shared<StbTexture>();
        texture->loadTexture2D(path.c_str());
        EXPECT_TRUE(texture->hasImage());
        int width = 0;
        int height = 0;
        const std::vector<unsigned char> pixels = readTexture(texture->getId(), &width, &height);
        ASSERT_EQ(width, 3);
        ASSERT_EQ(height, 2);
        for (int i = 0; i < 6; ++i)
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(pixels[i * 4 + k], c.expected[k]) << c.channels << " channels, pixel " << i;
    }
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

TEST_F(TextureTest, UnreadableFilePrintsOneLineAndLeavesTheTextureWithoutImage)
{
    dir.write("broken.png", "not an image");
    for (const std::string& path : {dir.file("missing.png"), dir.file("broken.png")}) {
        auto texture = std::make_shared<StbTexture>();
        testing::internal::CaptureStdout();
        texture->loadTexture2D(path.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to load texture " + path + "\n");
        EXPECT_FALSE(texture->hasImage());
        EXPECT_NE(texture->getId(), 0u);
        EXPECT_TRUE(readTexture(texture->getId()).empty());
    }
    EXPECT_TRUE(GlContext::drainErrors().empty());
}
