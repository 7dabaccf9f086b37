// The optional particle emitter keys of the scene file's ambient section.
#include "scene/Scene.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <iostream>
#include <stdexcept>

namespace {

struct EmitterCase {
    const char* rule;
    std::string sections;
    bool fountainOn;
    glm::vec3 fountain;
    bool burstOn;
    glm::vec3 burst;
};

void PrintTo(const EmitterCase& c, std::ostream* out) { *out << c.rule; }

const glm::vec3 fountainDefault(-6, 1, 2), burstDefault(5, 25, 5);

const EmitterCase emitterCases[] = {
    {"no ambient section keeps both where they always were", "$ lamp 1\ntype 0 0\n", true, fountainDefault, true,
     burstDefault},
    {"an ambient section without the keys keeps them too", "$ a 2\nambientStrength 0 0.2\n", true, fountainDefault,
     true, burstDefault},
    {"a point places the emitter, off switches it off",
     "$ a 2\nfountain 0 1,2,3\nburst 0 off\n", true, glm::vec3(1, 2, 3), false, burstDefault},
    {"the last ambient section by name decides, as for the light",
     "$ b 2\nburst 0 0,9,0\n$ a 2\nfountain 0 off\n", true, fountainDefault, true, glm::vec3(0, 9, 0)},
    {"the keys mean nothing in other sections", "$ m 3\nfountain 0 off\n$ l 1\ntype 0 5\nburst 0 off\n", true,
     fountainDefault, true, burstDefault},
};

class SceneEmitters : public testing::TestWithParam<EmitterCase> {
protected:
    Scene load(const std::string& text)
    {
        dir.write("scene.txt", text);
        std::cout.setstate(std::ios::failbit); // the reader echoes every line
        Scene scene;
        try {
            scene.load(dir.file("scene.txt"));
        } catch (...) {
            std::cout.clear();
            throw;
        }
        std::cout.clear();
        return scene;
    }
    TempDir dir;
};

TEST_P(SceneEmitters, Table)
{
    const Scene scene = load(GetParam().sections);
    EXPECT_EQ(scene.getFountain().enabled, GetParam().fountainOn);
    EXPECT_EQ(scene.getBurst().enabled, GetParam().burstOn);
    if (GetParam().fountainOn) {
        EXPECT_EQ(scene.getFountain().point, GetParam().fountain);
    }
    if (GetParam().burstOn) {
        EXPECT_EQ(scene.getBurst().point, GetParam().burst);
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, SceneEmitters, testing::ValuesIn(emitterCases));

TEST_F(SceneEmitters, AnythingButOffOrAPointIsAMalformedNumberNamingTheKey)
{
    try {
        load("$ a 2\nfountain 0 Off\n");
        FAIL() << "no error";
    } catch (const std::logic_error& error) { // invalid_argument or out_of_range
        EXPECT_NE(std::string(error.what()).find("section 'a' key 'fountain'"), std::string::npos) << error.what();
    }
}

} // namespace
