// Section text reader: any file content, then the four getters on every key
// of every section read. (Absent keys are pinned by the unit tests.)
#include "FuzzSupport.h"

#include "scene/ConfigSection.h"

#include <map>
#include <stdexcept>

namespace {

// The getters on a key that was read: a number or a conversion exception,
// and the text as read.
void probeKey(const ConfigSection& section, const std::string& key)
{
    convertsCleanly([&] { section.getInt(key); });
    convertsCleanly([&] { section.getFloat(key); });
    convertsCleanly([&] { section.getVec3(key); });
    FUZZ_CHECK(section.getString(key) == section.values.at(key));
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
    }
    return 0;
}
