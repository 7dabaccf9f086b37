// Section text reader: any file content, then the four getters on every key
// of every section read, and on a key that is absent.
#include "FuzzSupport.h"

#include "scene/ConfigSection.h"

#include <map>
#include <stdexcept>

namespace {

// The standard conversion exceptions are the reader's and the getters'
// documented answer to a malformed number; anything else escaping is a finding.
template <typename Call>
void allowingConversionErrors(Call call)
{
    try {
        call();
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
}

void probeKey(const ConfigSection& section, const std::string& key)
{
    const auto it = section.values.find(key);
    const bool present = it != section.values.end();

    allowingConversionErrors([&] { section.getInt(key); });
    allowingConversionErrors([&] { section.getFloat(key); });
    allowingConversionErrors([&] { section.getVec3(key); });
    const std::string text = section.getString(key);
    FUZZ_CHECK(present ? text == it->second : text.empty());

    if (!present) {
        // Absent keys have defaults, except getInt which has none.
        FUZZ_CHECK(section.getFloat(key) == 0.0f);
        FUZZ_CHECK(section.getVec3(key) == glm::vec3(0.0f));
        bool raised = false;
        try {
            section.getInt(key);
        } catch (const std::invalid_argument&) {
            raised = true;
        }
        FUZZ_CHECK(raised);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    prepareFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = writeFuzzFile(data, size, "sections.txt");
    std::map<std::string, ConfigSection> sections;
    // Sections completed before a malformed line stay in the result.
    allowingConversionErrors([&] { readConfigFile(sections, path); });

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
