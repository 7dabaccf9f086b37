#include "scene/ConfigSection.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <stdexcept>

// The section text reader and its getters, one table row per rule.
namespace {

// The exception `call` raised, prefixed "invalid: " or "range: "; empty
// when none was.
template <typename Call>
std::string failureOf(Call call)
{
    try {
        call();
    } catch (const std::invalid_argument& error) {
        return std::string("invalid: ") + error.what();
    } catch (const std::out_of_range& error) {
        return std::string("range: ") + error.what();
    }
    return "";
}

// Sections as "name kind{key=value,...}", in name order.
std::string describe(const std::map<std::string, ConfigSection>& sections)
{
    std::string text;
    for (const auto& [name, section] : sections) {
        text += (text.empty() ? "" : " ") + section.name + " " + std::to_string(section.kind) + "{";
        for (const auto& [key, value] : section.values)
            text += key + "=" + value + (key == section.values.rbegin()->first ? "" : ",");
        text += "}";
        EXPECT_EQ(name, section.name);
    }
    return text;
}

struct ReaderCase {
    const char* rule;
    const char* text;
    const char* expected;
    const char* failure; // after "<file>:" where set
};

const ReaderCase readerCases[] = {
    {"header and entry", "$ lamp 1\nposition 3 0.5,4,-2\n", "lamp 1{position=0.5,4,-2}", ""},
    {"first header token ignored, extras too", "$light lamp 1 extra\n", "lamp 1{}", ""},
    {"codes 0 to 4 kept, others dropped", "$ s 0\na 4 kept\nb 5 no\nc -1 no\nd 0 x\n", "s 0{a=kept,d=x}", ""},
    {"cut at single spaces", "$ s 0\n 0 leading\ntrail 0 v \nempty 0  \nextra 1 a b\nspaced 0 1, 2\n",
     "s 0{=leading,empty=,extra=a,spaced=1,,trail=v}", ""},
    {"carriage returns dropped", "$ s 0\r\nk 0 v\r\n", "s 0{k=v}", ""},
    {"leading number of a code", "$ s 0\nloose 3abc kept\n", "s 0{loose=kept}", ""},
    {"first value of a key wins", "$ s 0\nk 0 first\nk 2 second\n", "s 0{k=first}", ""},
    {"first section of a name wins", "$ a 1\nk 0 first\n$ a 2\nk 0 second\n", "a 1{k=first}", ""},
    {"no header: one nameless section", "a 0 1\n", " 0{a=1}", ""},
    {"entries before the first header dropped", "a 0 1\n$ s 3\nc 0 3\n", "s 3{c=3}", ""},
    {"header without kind", "$ a\n", "a 0{}", ""},
    {"bad kind keeps earlier sections", "$ a 1\n$ d kind\n", "a 1{}", "2: section kind 'kind' is not a number"},
    {"huge kind", "$ big 2147483648\n", "", "1: section kind '2147483648' is out of range"},
    {"comment line is an entry", "$ s 0\n# a comment\n", "", "2: type code 'a' is not a number"},
    {"two tokens still convert the code", "$ s 0\nkey word\n", "", "2: type code 'word' is not a number"},
    {"huge code", "$ s 0\nk 99999999999 v\n", "", "2: type code '99999999999' is out of range"},
};

void PrintTo(const ReaderCase& c, std::ostream* out) { *out << c.rule; }

class ReaderRules : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderRules, Apply)
{
    const ReaderCase& c = GetParam();
    TempDir dir;
    dir.write("data.txt", c.text);
    std::map<std::string, ConfigSection> sections;
    testing::internal::CaptureStdout(); // the reader echoes every line
    const std::string failure = failureOf([&] { readConfigFile(sections, dir.file("data.txt")); });
    testing::internal::GetCapturedStdout();
    const std::string expected = *c.failure ? dir.file("data.txt") + ":" + c.failure : "";
    EXPECT_NE(failure.find(expected), std::string::npos) << failure;
    EXPECT_EQ(failure.empty(), expected.empty()) << failure;
    EXPECT_EQ(describe(sections), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ReaderRules, testing::ValuesIn(readerCases));

// Getter on a section "lamp": the value read, or the exception text.
struct GetterCase {
    const char* value; // nullptr: key absent
    char getter;       // i, f, s, v
    const char* expected;
};

std::string get(const GetterCase& c)
{
    ConfigSection lamp{0, "lamp", {}};
    if (c.value)
        lamp.values["k"] = c.value;
    std::string read;
    const std::string failure = failureOf([&] {
        const glm::vec3 v = c.getter == 'v' ? lamp.getVec3("k") : glm::vec3(0);
        read = c.getter == 'i'   ? std::to_string(lamp.getInt("k"))
               : c.getter == 'f' ? std::to_string(lamp.getFloat("k"))
               : c.getter == 's' ? lamp.getString("k")
                                 : std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.z);
    });
    return failure.empty() ? read : failure;
}

const GetterCase getterCases[] = {
    {nullptr, 'f', "0.000000"},
    {nullptr, 's', ""},
    {nullptr, 'v', "0.000000 0.000000 0.000000"},
    {nullptr, 'i', "invalid: section 'lamp' key 'k' is missing; a number is required"},
    {"3abc", 'i', "3"},
    {"3abc", 's', "3abc"},
    {"\t-7", 'i', "-7"},
    {"2.9", 'i', "2"},
    {"2.5m", 'f', "2.500000"},
    {"1e3", 'f', "1000.000000"},
    {"word", 'i', "invalid: section 'lamp' key 'k': 'word' is not a number"},
    {"word", 'f', "invalid: section 'lamp' key 'k': 'word' is not a number"},
    {"", 'i', "invalid: section 'lamp' key 'k': '' is not a number"},
    {"2147483648", 'i', "range: section 'lamp' key 'k': '2147483648' is out of range"},
    {"1e39", 'f', "range: section 'lamp' key 'k': '1e39' is out of range"},
    {"0.5,4,-2", 'v', "0.500000 4.000000 -2.000000"},
    {"1,2,3,4", 'v', "1.000000 2.000000 3.000000"},
    {"1,2", 'v', "range: section 'lamp' key 'k': '1,2' has fewer than three comma-separated numbers"},
    {"1,,3", 'v', "invalid: section 'lamp' key 'k': part 2 of '1,,3': '' is not a number"},
    {"1,2,", 'v', "invalid: section 'lamp' key 'k': part 3 of '1,2,': '' is not a number"},
};

void PrintTo(const GetterCase& c, std::ostream* out) { *out << (c.value ? c.value : "absent") << " as " << c.getter; }

class GetterRules : public testing::TestWithParam<GetterCase> {};

TEST_P(GetterRules, Convert) { EXPECT_EQ(get(GetParam()), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Table, GetterRules, testing::ValuesIn(getterCases));

} // namespace
