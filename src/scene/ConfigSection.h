#pragma once

#include <glm/glm.hpp>

#include <map>
#include <string>

// One section of a section text file ("$ name kind" header plus
// "key typecode value" entries). Values are kept as the text of the file and
// converted by the getters on every call.
//
// Getter failures raise std::invalid_argument / std::out_of_range (the
// standard conversion exceptions); their what() text names the key and the
// text that failed.
struct ConfigSection {
    int kind = 0;
    std::string name;
    std::map<std::string, std::string> values;

    int getInt(std::string key) const;          // absent key: std::invalid_argument
    float getFloat(std::string key) const;      // absent key: 0
    std::string getString(std::string key) const; // absent key: ""
    glm::vec3 getVec3(std::string key) const;   // absent key: (0, 0, 0)
};

// Reads the section file at `path` into `sections` (keyed and so ordered by
// section name; the first section of a name wins). Echoes every line to
// stdout. A file that cannot be opened prints "Unable to open file" with no
// line end and adds nothing. A header kind or type code that is no number
// raises std::invalid_argument / std::out_of_range naming the line.
void readConfigFile(std::map<std::string, ConfigSection>& sections, std::string path);
