#include "scene/ConfigSection.h"

#include <stdexcept>

int ConfigSection::getInt(std::string key) const { return std::stoi(getString(key)); }
float ConfigSection::getFloat(std::string) const { return 0.0f; }
std::string ConfigSection::getString(std::string key) const
{
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}
glm::vec3 ConfigSection::getVec3(std::string) const { return glm::vec3(0.0f); }

void readConfigFile(std::map<std::string, ConfigSection>&, std::string) {}
