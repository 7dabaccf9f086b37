#include "BenchOptions.h"
#include "CoutCapture.h"
#include "FrameStats.h"
#include "ScaledScene.h"
#include "TempDir.h"
#include "scene/ConfigSection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

bool parse(std::vector<const char*> arguments, BenchOptions& options, std::string& error)
{
    arguments.insert(arguments.begin(), "velmora-bench");
    return options.parse(static_cast<int>(arguments.size()), arguments.data(), error);
}

// Reads scene text the way the viewer does.
std::map<std::string, ConfigSection> readScene(const std::string& text)
{
    TempDir dir;
    dir.write("scene.txt", text);
    std::map<std::string, ConfigSection> sections;
    const CoutCapture echo; // the reader echoes every line
    readConfigFile(sections, dir.file("scene.txt"));
    return sections;
}

const char* smallScene = "$ 00_ambient 2\n"
                         "ambientStrength 0 0.2\n"
                         "$ 10_spot 1\n"
                         "type 0 1\n"
                         "position 0 1,10,2\n"
                         "direction 0 0,-1,0\n"
                         "$ 20_point 1\n"
                         "type 0 0\n"
                         "position 0 -3,2,0.5\n"
                         "$ 30_ground 0\n"
                         "path 0 assets/models/ground.obj\n"
                         "$ 31_crate 0\n"
                         "path 0 assets/models/crate.obj\n"
                         "position 0 7,0,-1\n"
                         "speed 0 15\n"
                         "$ 90_note 7\n"
                         "text 0 kept\n";

} // namespace

TEST(BenchOptions, DefaultsAndEveryOption)
{
    BenchOptions defaults;
    std::string error;
    ASSERT_TRUE(parse({}, defaults, error));
    EXPECT_EQ(defaults.frames, 200);
    EXPECT_EQ(defaults.warmup, 20);
    EXPECT_DOUBLE_EQ(defaults.dt, 1.0 / 64.0);
    EXPECT_TRUE(defaults.postProcessing);
    EXPECT_TRUE(defaults.syncPasses);
    EXPECT_EQ(defaults.scale, 1);
    EXPECT_TRUE(defaults.png.empty());
    EXPECT_TRUE(defaults.dir.empty());
    EXPECT_FALSE(defaults.help);

    BenchOptions options;
    ASSERT_TRUE(parse({"--frames", "7", "--warmup", "0", "--dt", "0.05", "--dir", "/some/where", "--postprocessing",
                       "off", "--png", "out.png", "--start", "12.5", "--scale", "16", "--sync-passes", "off"},
                      options, error))
        << error;
    EXPECT_EQ(options.frames, 7);
    EXPECT_EQ(options.warmup, 0);
    EXPECT_DOUBLE_EQ(options.dt, 0.05);
    EXPECT_EQ(options.dir, "/some/where");
    EXPECT_FALSE(options.postProcessing);
    EXPECT_EQ(options.png, "out.png");
    EXPECT_DOUBLE_EQ(options.start, 12.5);
    EXPECT_EQ(options.scale, 16);
    EXPECT_FALSE(options.syncPasses);

    BenchOptions help;
    ASSERT_TRUE(parse({"--help"}, help, error));
    EXPECT_TRUE(help.help);
    for (const char* option : {"--frames", "--warmup", "--dt", "--dir", "--postprocessing", "--png", "--start",
                               "--scale", "--sync-passes", "--help"})
        EXPECT_NE(BenchOptions::usage().find(option), std::string::npos) << option;
}

TEST(BenchOptions, RejectsWhatCannotBeRun)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--fps", "3"},          {"--frames"},           {"--frames", "0"},         {"--frames", "12x"},
        {"--frames", "-4"},      {"--warmup", "-1"},     {"--dt", "0"},             {"--dt", "-0.1"},
        {"--dt", "nan"},         {"--dt", "fast"},       {"--start", "-1"},         {"--scale", "0"},
        {"--scale", "65"},       {"--postprocessing", "yes"}, {"--sync-passes", "1"}, {"--dir", ""},
        {"--frames", "99999999999999999999"},
    };
    for (const auto& arguments : bad) {
        BenchOptions options;
        std::string error;
        EXPECT_FALSE(parse(arguments, options, error)) << arguments[0];
        EXPECT_NE(error.find(arguments[0]), std::string::npos) << error;
    }
}

TEST(FrameStats, MedianNearestRankPercentileAndMean)
{
    const FrameStats odd({5.0, 1.0, 3.0});
    EXPECT_EQ(odd.count(), 3u);
    EXPECT_DOUBLE_EQ(odd.median(), 3.0);
    EXPECT_DOUBLE_EQ(odd.p95(), 5.0);
    EXPECT_DOUBLE_EQ(odd.mean(), 3.0);

    const FrameStats even({4.0, 1.0, 2.0, 3.0});
    EXPECT_DOUBLE_EQ(even.median(), 2.5);
    EXPECT_DOUBLE_EQ(even.total(), 10.0);

    // 1..20 shuffled: the 95th percentile is the 19th value (ceil(0.95 * 20)),
    // and 1..100 gives the 95th.
    std::vector<double> twenty;
    for (int i = 20; i >= 1; --i)
        twenty.push_back(i % 2 ? i : 21 - i);
    EXPECT_DOUBLE_EQ(FrameStats(twenty).p95(), 19.0);
    std::vector<double> hundred;
    for (int i = 1; i <= 100; ++i)
        hundred.push_back(i);
    EXPECT_DOUBLE_EQ(FrameStats(hundred).p95(), 95.0);
    EXPECT_DOUBLE_EQ(FrameStats(hundred).median(), 50.5);

    const FrameStats one({7.5});
    EXPECT_DOUBLE_EQ(one.median(), 7.5);
    EXPECT_DOUBLE_EQ(one.p95(), 7.5);

    const FrameStats none({});
    EXPECT_EQ(none.count(), 0u);
    EXPECT_DOUBLE_EQ(none.median(), 0.0);
    EXPECT_DOUBLE_EQ(none.mean(), 0.0);
}

TEST(ScaledScene, OneCopyIsTheSceneUnchanged)
{
    EXPECT_EQ(ScaledScene::scaleText(smallScene, 1, 120.0f), smallScene);
}

TEST(ScaledScene, CopiesModelsAndLightsOnAGridAndKeepsTheShadowCasterFirst)
{
    const auto sections = readScene(ScaledScene::scaleText(smallScene, 4, 100.0f));
    int models = 0, lights = 0, ambient = 0, other = 0;
    for (const auto& entry : sections) {
        models += entry.second.kind == 0;
        lights += entry.second.kind == 1;
        ambient += entry.second.kind == 2;
        other += entry.second.kind == 7;
    }
    EXPECT_EQ(models, 8);
    EXPECT_EQ(lights, 8);
    EXPECT_EQ(ambient, 1);
    EXPECT_EQ(other, 1);

    // The viewer takes sections in name order and the first spot light casts
    // the shadow: it must still be the original one.
    std::string firstSpot;
    for (const auto& entry : sections) {
        if (entry.second.kind == 1 && entry.second.getInt("type") == 1) {
            firstSpot = entry.first;
            break;
        }
    }
    EXPECT_EQ(firstSpot, "10_spot");

    // Two columns: copy 1 one step along x, copy 2 along z, copy 3 both.
    EXPECT_EQ(sections.at("31_crate").getVec3("position"), glm::vec3(7, 0, -1));
    EXPECT_EQ(sections.at("31_crate#01").getVec3("position"), glm::vec3(107, 0, -1));
    EXPECT_EQ(sections.at("31_crate#02").getVec3("position"), glm::vec3(7, 0, 99));
    EXPECT_EQ(sections.at("31_crate#03").getVec3("position"), glm::vec3(107, 0, 99));
    EXPECT_EQ(sections.at("20_point#03").getVec3("position"), glm::vec3(97, 2, 100.5));
    EXPECT_EQ(sections.at("10_spot#02").getVec3("direction"), glm::vec3(0, -1, 0));
    // Keys other than the position travel unchanged.
    EXPECT_EQ(sections.at("31_crate#03").getString("path"), "assets/models/crate.obj");
    EXPECT_FLOAT_EQ(sections.at("31_crate#03").getFloat("speed"), 15.0f);
    // A model without a position is at the origin: its copies keep it there.
    EXPECT_EQ(sections.at("30_ground#03").getVec3("position"), glm::vec3(0, 0, 0));
}

TEST(ScaledScene, KeepsLineEndingsAndUnreadablePositions)
{
    const std::string scaled =
        ScaledScene::scaleText("$ m 0\r\npath 0 a.obj\r\nposition 0 1,2,3\r\n$ n 0\nposition 0 1,2\n", 2, 10.0f);
    EXPECT_NE(scaled.find("$ m#01 0\r\n"), std::string::npos) << scaled;
    EXPECT_NE(scaled.find("position 0 11,2,3\r\n"), std::string::npos) << scaled;
    // Not three numbers: left for the viewer's reader to judge, as written.
    EXPECT_NE(scaled.find("$ n#01 0\nposition 0 1,2\n"), std::string::npos) << scaled;
}

TEST(ScaledScene, ANameClashIsAnErrorRatherThanADroppedSection)
{
    // The reader keeps the first of two sections with one name: a copy named
    // like an existing section would silently vanish.
    EXPECT_THROW(ScaledScene::scaleText("$ a 0\n$ a#01 0\n", 2, 10.0f), std::runtime_error);
}

TEST(ScaledScene, BuildsALinkedRepositoryLayoutAndRemovesItAfterwards)
{
    namespace fs = std::filesystem;
    TempDir source;
    source.write("shader/lit.frag", "void main() {}\n");
    source.write("assets/scene.txt", smallScene);
    source.write("assets/models/crate.obj", "v 0 0 0\n");
    source.write("assets/animationpath.txt", "$ eye 10\n");

    std::string made;
    {
        ScaledScene scaled(source.path(), 3);
        made = scaled.path();
        EXPECT_TRUE(fs::is_symlink(made + "/shader"));
        EXPECT_EQ(readFile(made + "/shader/lit.frag"), "void main() {}\n");
        EXPECT_EQ(readFile(made + "/assets/models/crate.obj"), "v 0 0 0\n");
        EXPECT_EQ(readFile(made + "/assets/animationpath.txt"), "$ eye 10\n");
        EXPECT_FALSE(fs::is_symlink(made + "/assets/scene.txt"));
        EXPECT_EQ(readFile(made + "/assets/scene.txt"), ScaledScene::scaleText(smallScene, 3, 120.0f));
    }
    EXPECT_FALSE(fs::exists(made));
    // The source is untouched.
    EXPECT_EQ(source.read("assets/scene.txt"), smallScene);
    EXPECT_EQ(source.read("assets/models/crate.obj"), "v 0 0 0\n");
}

TEST(ScaledScene, ASourceWithoutSceneFileIsReported)
{
    TempDir source;
    source.write("shader/lit.frag", "\n");
    EXPECT_THROW(ScaledScene(source.path(), 2), std::runtime_error);
}
