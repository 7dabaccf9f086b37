#include "scene/ConfigSection.h"

#include <fstream>
#include <iostream>
#include <stdexcept>
#include <vector>

namespace {

// Runs a std::sto* conversion and, on failure, raises the same exception type
// with a message saying where the text stood (`place`) and what it was.
template <typename Convert>
auto convert(Convert standardConversion, const std::string& text, const std::string& place)
{
    try {
        return standardConversion(text);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument(place + "'" + text + "' is not a number");
    } catch (const std::out_of_range&) {
        throw std::out_of_range(place + "'" + text + "' is out of range");
    }
}

int toInt(const std::string& text, const std::string& place)
{
    return convert([](const std::string& s) { return std::stoi(s); }, text, place);
}

float toFloat(const std::string& text, const std::string& place)
{
    return convert([](const std::string& s) { return std::stof(s); }, text, place);
}

// Cuts `text` at every `separator`. With `keepTrailingEmpty` false a
// separator at the very end adds no part (the line rule: "a " is one token);
// with it true it adds an empty one (the vector rule: "1,2," is three parts).
std::vector<std::string> split(const std::string& text, char separator, bool keepTrailingEmpty)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        if (start == text.size() && !keepTrailingEmpty)
            break;
        const std::string::size_type end = text.find(separator, start);
        if (end == std::string::npos) {
            parts.push_back(text.substr(start));
            break;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace

int ConfigSection::getInt(std::string key) const
{
    const std::string place = "section '" + name + "' key '" + key + "'";
    const auto it = values.find(key);
    if (it == values.end())
        throw std::invalid_argument(place + " is missing; a number is required");
    return toInt(it->second, place + ": ");
}

float ConfigSection::getFloat(std::string key) const
{
    const auto it = values.find(key);
    if (it == values.end())
        return 0.0f;
    return toFloat(it->second, "section '" + name + "' key '" + key + "': ");
}

std::string ConfigSection::getString(std::string key) const
{
    const auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}

glm::vec3 ConfigSection::getVec3(std::string key) const
{
    const auto it = values.find(key);
    if (it == values.end())
        return glm::vec3(0.0f);
    const std::string& text = it->second;
    const std::string place = "section '" + name + "' key '" + key + "': ";
    const std::vector<std::string> parts = split(text, ',', true);
    if (parts.size() < 3)
        throw std::out_of_range(place + "'" + text + "' has fewer than three comma-separated numbers");
    glm::vec3 result;
    for (int i = 0; i < 3; ++i)
        result[i] = toFloat(parts[i], place + "part " + std::to_string(i + 1) + " of '" + text + "': ");
    return result;
}

void readConfigFile(std::map<std::string, ConfigSection>& sections, std::string path)
{
    std::ifstream file(path);
    if (!file.is_open()) {
        std::cout << "Unable to open file";
        return;
    }

    ConfigSection current;
    bool headerSeen = false;
    std::string line;
    // A read error ends the loop like the end of the file does.
    for (long lineNumber = 1; std::getline(file, line); ++lineNumber) {
        // Lines written with CR LF: the CR is not part of the line.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::cout << line << '\n';

        const std::vector<std::string> tokens = split(line, ' ', false);
        const std::string place = path + ":" + std::to_string(lineNumber) + ": ";
        if (!line.empty() && line[0] == '$') {
            // Entries before the first header line belong to no section.
            if (headerSeen)
                sections.emplace(current.name, current);
            current = ConfigSection();
            headerSeen = true;
            if (tokens.size() > 1)
                current.name = tokens[1];
            if (tokens.size() > 2)
                current.kind = toInt(tokens[2], place + "section kind ");
            continue;
        }

        if (tokens.size() < 2)
            continue;
        // Converted even when nothing is stored: a non-numeric code is an error.
        const int typeCode = toInt(tokens[1], place + "type code ");
        if (tokens.size() > 2 && typeCode >= 0 && typeCode <= 4)
            current.values.emplace(tokens[0], tokens[2]);
    }
    sections.emplace(current.name, current);
}
