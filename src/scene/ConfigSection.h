#pragma once

#include <glm/glm.hpp>

#include <map>
#include <string>

// One section of a section text file: a "$ name kind" header line and the
// "key typecode value" entry lines under it. Values are kept as the text of
// the file and converted by the getters on every call, with the semantics of
// std::stoi / std::stof (leading number taken, "3abc" reads as 3).
//
// Conversion failures raise std::invalid_argument (no number) or
// std::out_of_range (number too large); what() is one line naming the
// section, the key and the text, e.g.
//   section 'lamp' key 'type': 'abc' is not a number
struct ConfigSection {
    int kind = 0;      // third header token; 0 when absent
    std::string name;  // second header token; empty when absent
    std::map<std::string, std::string> values;  // key -> value text

    int getInt(std::string key) const;             // absent key: std::invalid_argument
    float getFloat(std::string key) const;         // absent key: 0
    std::string getString(std::string key) const;  // absent key: ""
    // "x,y,z"; parts after the third are ignored. Absent key: (0, 0, 0);
    // fewer than three parts: std::out_of_range.
    glm::vec3 getVec3(std::string key) const;
};

// Reads the section file at `path` (relative to the working directory) into
// `sections`, keyed and so ordered by section name. Echoes every line to
// stdout as it is read.
//  - Tokens are cut at every single space (two spaces give an empty token).
//  - Entries are stored only for type codes 0..4; the first value of a key
//    and the first section of a name win; entries before the first header
//    line are dropped. A file with no header line yields one section named "".
//  - A file that cannot be opened prints "Unable to open file" with no line
//    end and adds nothing.
//  - A header kind or type code that is no number raises
//    std::invalid_argument / std::out_of_range, e.g.
//      assets/scene.txt:12: type code 'x' is not a number
//    Sections completed before that line stay in `sections`.
void readConfigFile(std::map<std::string, ConfigSection>& sections, std::string path);
