#include "scene/ConfigSection.h"

#include "CoutCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

// what() of the exception of exactly type Exception that `action` raises.
template <typename Exception, typename Action>
std::string messageOf(Action action)
{
    try {
        action();
    } catch (const Exception& error) {
        return error.what();
    }
    ADD_FAILURE() << "no exception raised";
    return {};
}

using Sections = std::map<std::string, ConfigSection>;

class ConfigReader : public ::testing::Test {
protected:
    // Writes `text` to a file of the scratch folder and reads it.
    Sections read(const std::string& text, std::string* echo = nullptr)
    {
        dir.write("data.txt", text);
        Sections sections;
        CoutCapture capture;
        readConfigFile(sections, path());
        if (echo)
            *echo = capture.text();
        return sections;
    }
    // Reads `text` and returns the message of the exception it must raise.
    template <typename Exception>
    std::string failure(const std::string& text, Sections* sections)
    {
        dir.write("data.txt", text);
        CoutCapture capture;
        return messageOf<Exception>([&] { readConfigFile(*sections, path()); });
    }
    std::string path() const { return dir.file("data.txt"); }

    TempDir dir;
};

TEST_F(ConfigReader, EchoesEveryLineWithoutItsCarriageReturn)
{
    std::string echo;
    const Sections sections = read("$ lamp 1\r\n\r\nposition 3 0.5,4,-2\r\nspeed 9 1.5\nlast 0 x", &echo);
    EXPECT_EQ(echo, "$ lamp 1\n\nposition 3 0.5,4,-2\nspeed 9 1.5\nlast 0 x\n");
    ASSERT_EQ(sections.count("lamp"), 1u);
    EXPECT_EQ(sections.at("lamp").values.at("position"), "0.5,4,-2");
    EXPECT_EQ(sections.at("lamp").values.at("last"), "x");
}

TEST_F(ConfigReader, ExampleLinesHaveTheirStatedEffect)
{
    Sections sections = read("$ lamp 1\nposition 3 0.5,4,-2\nspeed 9 1.5\n");
    ASSERT_EQ(sections.size(), 1u);
    const ConfigSection& lamp = sections.at("lamp");
    EXPECT_EQ(lamp.name, "lamp");
    EXPECT_EQ(lamp.kind, 1);
    EXPECT_EQ(lamp.values, (std::map<std::string, std::string>{{"position", "0.5,4,-2"}}));

    sections = read("$light lamp 1 extra\n");
    ASSERT_EQ(sections.count("lamp"), 1u);
    EXPECT_EQ(sections.at("lamp").kind, 1);

    Sections partial;
    EXPECT_EQ(failure<std::invalid_argument>("$ lamp 1\nspeed x 1.5\n", &partial),
              path() + ":2: type code 'x' is not a number");
    EXPECT_EQ(failure<std::invalid_argument>("$ lamp 1\nspeed  0 1.5\n", &partial),
              path() + ":2: type code '' is not a number");
}

TEST_F(ConfigReader, MissingFilePrintsWithoutLineEndAndAddsNothing)
{
    Sections sections;
    sections["kept"].kind = 5;
    CoutCapture capture;
    readConfigFile(sections, dir.file("absent.txt"));
    EXPECT_EQ(capture.text(), "Unable to open file");
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections.at("kept").kind, 5);
}

TEST_F(ConfigReader, EntriesOutsideAnyHeader)
{
    Sections sections = read("");
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections.begin()->first, "");
    EXPECT_EQ(sections.begin()->second.kind, 0);
    EXPECT_TRUE(sections.begin()->second.values.empty());

    sections = read("a 0 1\nb 1 2\n");
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections.at("").values, (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));

    // The same entries before a header are read and then thrown away.
    sections = read("a 0 1\nb 1 2\n$ s 3\nc 0 3\n");
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections.at("s").values, (std::map<std::string, std::string>{{"c", "3"}}));
}

TEST_F(ConfigReader, HeaderTokens)
{
    Sections sections;
    const std::string message = failure<std::invalid_argument>(
        "$\nk 0 v\n$lamp 1\n$ a\n$ b 7 x y\n$ c 3abc\n$ d kind\n$ e 1\n", &sections);
    EXPECT_EQ(message, path() + ":7: section kind 'kind' is not a number");
    // Everything completed before the bad header stays; d and e never arrive.
    ASSERT_EQ(sections.size(), 5u);
    EXPECT_EQ(sections.at("").kind, 0);  // "$" alone
    EXPECT_EQ(sections.at("").values.at("k"), "v");
    EXPECT_EQ(sections.at("1").kind, 0); // "$lamp" is the ignored first token
    EXPECT_EQ(sections.at("a").kind, 0);
    EXPECT_EQ(sections.at("b").kind, 7);
    EXPECT_EQ(sections.at("c").kind, 3);

    EXPECT_EQ(failure<std::out_of_range>("$ big 2147483648\n", &sections),
              path() + ":1: section kind '2147483648' is out of range");
}

TEST_F(ConfigReader, EntryTokensAreCutAtSingleSpaces)
{
    const Sections sections = read("$ s 0\n"
                                   "tabbed\t0\tvalue\n"
                                   " 0 leading\n"
                                   "trail 0 v \n"
                                   "empty 0  \n"
                                   "nothing 0 \n"
                                   "extra 1 a b c\n"
                                   "#comment\n"
                                   "loose 3abc kept\n"
                                   "five 5 dropped\n"
                                   "minus -1 dropped\n"
                                   "four 4 kept\n"
                                   "Position 0 upper\n"
                                   "position 0 lower\n"
                                   "dup 0 first\n"
                                   "dup 2 second\n"
                                   "spaced 0 1, 2, 3\n");
    const std::map<std::string, std::string> expected{
        {"", "leading"}, {"trail", "v"}, {"empty", ""},         {"extra", "a"},
        {"loose", "kept"}, {"four", "kept"}, {"Position", "upper"}, {"position", "lower"},
        {"dup", "first"}, {"spaced", "1,"}};
    EXPECT_EQ(sections.at("s").values, expected);
    EXPECT_THROW(sections.at("s").getVec3("spaced"), std::out_of_range);
}

TEST_F(ConfigReader, CommentLikeLinesAndHugeCodesFail)
{
    Sections sections;
    EXPECT_EQ(failure<std::invalid_argument>("$ s 0\n# a comment\n", &sections),
              path() + ":2: type code 'a' is not a number");
    EXPECT_EQ(failure<std::out_of_range>("$ s 0\nk 99999999999 v\n", &sections),
              path() + ":2: type code '99999999999' is out of range");
    // A two-token line converts its code even though it stores nothing.
    EXPECT_EQ(failure<std::invalid_argument>("$ s 0\nkey word\n", &sections),
              path() + ":2: type code 'word' is not a number");
}

TEST_F(ConfigReader, FirstSectionOfANameWins)
{
    const Sections sections = read("$ a 1\nk 0 first\n$ a 2\nk 0 second\nj 0 x\n");
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections.at("a").kind, 1);
    EXPECT_EQ(sections.at("a").values, (std::map<std::string, std::string>{{"k", "first"}}));
}

TEST_F(ConfigReader, SectionsComeInByteOrderOfTheirNames)
{
    const Sections sections = read("$ b 0\n$ eye2 0\n$ B 0\n$ 9 0\n$ eye1 0\n$ a 0\n$ 10 0\n$ eye10 0\n");
    std::vector<std::string> names;
    for (const auto& entry : sections)
        names.push_back(entry.first);
    EXPECT_EQ(names, (std::vector<std::string>{"10", "9", "B", "a", "b", "eye1", "eye10", "eye2"}));
}

ConfigSection lampWith(std::map<std::string, std::string> values)
{
    ConfigSection section;
    section.name = "lamp";
    section.values = std::move(values);
    return section;
}

TEST(ConfigSectionGetters, AbsentKeys)
{
    const ConfigSection lamp = lampWith({});
    EXPECT_EQ(lamp.getFloat("speed"), 0.0f);
    EXPECT_EQ(lamp.getString("model"), "");
    EXPECT_EQ(lamp.getVec3("position"), glm::vec3(0.0f));
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { lamp.getInt("type"); }),
              "section 'lamp' key 'type' is missing; a number is required");
}

TEST(ConfigSectionGetters, ConvertTheLeadingNumberLikeTheStandardConversions)
{
    const ConfigSection lamp = lampWith({{"a", "3abc"}, {"b", "2.5m"}, {"c", "1e3"}, {"d", "\t-7"},
                                         {"e", "2.9"}, {"f", "word"}, {"g", "2147483648"}, {"h", "1e39"},
                                         {"i", "-0.25"}, {"j", ""}});
    EXPECT_EQ(lamp.getInt("a"), 3);
    EXPECT_EQ(lamp.getFloat("b"), 2.5f);
    EXPECT_EQ(lamp.getFloat("c"), 1000.0f);
    EXPECT_EQ(lamp.getInt("d"), -7);
    EXPECT_EQ(lamp.getInt("e"), 2);
    EXPECT_EQ(lamp.getFloat("i"), -0.25f);
    EXPECT_EQ(lamp.getString("a"), "3abc");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { lamp.getInt("f"); }),
              "section 'lamp' key 'f': 'word' is not a number");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { lamp.getFloat("f"); }),
              "section 'lamp' key 'f': 'word' is not a number");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { lamp.getInt("j"); }),
              "section 'lamp' key 'j': '' is not a number");
    EXPECT_EQ(messageOf<std::out_of_range>([&] { lamp.getInt("g"); }),
              "section 'lamp' key 'g': '2147483648' is out of range");
    EXPECT_EQ(messageOf<std::out_of_range>([&] { lamp.getFloat("h"); }),
              "section 'lamp' key 'h': '1e39' is out of range");
}

TEST(ConfigSectionGetters, Vec3Parts)
{
    const ConfigSection lamp = lampWith({{"four", "1,2,3,4"}, {"two", "1,2"}, {"gap", "1,,3"},
                                         {"trailing", "1,2,"}, {"plain", "0.5,4,-2"}});
    EXPECT_EQ(lamp.getVec3("four"), glm::vec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(lamp.getVec3("plain"), glm::vec3(0.5f, 4.0f, -2.0f));
    EXPECT_EQ(messageOf<std::out_of_range>([&] { lamp.getVec3("two"); }),
              "section 'lamp' key 'two': '1,2' has fewer than three comma-separated numbers");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { lamp.getVec3("gap"); }),
              "section 'lamp' key 'gap': part 2 of '1,,3': '' is not a number");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { lamp.getVec3("trailing"); }),
              "section 'lamp' key 'trailing': part 3 of '1,2,': '' is not a number");
}

} // namespace
