// Section text reader: any file content, then the four getters on every key
// of every section read, and on a key that is absent.
#include "FuzzSupport.h"

#include "scene/ConfigSection.h"

#include <map>
#include <stdexcept>

namespace {

void probeKey(const ConfigSection& section, const std::string& key)
{
    const auto it = section.values.find(key);
    const bool present = it != section.values.end();

    convertsCleanly([&] { section.getInt(key); });
    convertsCleanly([&] { section.getFloat(key); });
    convertsCleanly([&] { section.getVec3(key); });
    const std::string text = section.getString(key);
    FUZZ_CHECK(present ? text == it->second : text.empty());

    if (!present) {
        // Absent keys have defaults, except getInt which has none.
        FUZZ_CHECK(section.getFloat(key) == 0.0f);
        FUZZ_CHECK(section.getVec3(key) == glm::vec3(0.0f));
        FUZZ_CHECK(!convertsCleanly([&] { section.getInt(key); }));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = writeFuzzFile(data, size, "sections.txt");
    std::map<std::string, ConfigSection> sections;
    // Sections completed before a malformed line stay in the result.
    convertsCleanly([&] { readConfigFile(sections, path); });

    for (const auto& entry : sections) {
        const ConfigSection& section = entry.second;
        FUZZ_CHECK(entry.first == section.name);
        // Tokens are cut at spaces and lines at line feeds, so neither can be
        // inside a name, key or value.
        FUZZ_CHECK(section.name.find_first_of(" \n") == std::string::npos);
        for (const auto& value : section.values) {
            FUZZ_CHECK(value.first.find_first_of(" \n") == std::string::npos);
            FUZZ_CHECK(value.second.find_first_of(" \n") == std::string::npos);
            probeKey(section, value.first);
        }
        probeKey(section, "velmora-absent key");
    }
    return 0;
}
