#include "ScaledScene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Cut at every single space, as the scene reader does: two spaces give an
// empty token, a space at the end gives none.
std::vector<std::string> tokens(const std::string& line)
{
    std::vector<std::string> parts;
    std::string::size_type from = 0;
    while (from < line.size()) {
        const std::string::size_type space = line.find(' ', from);
        if (space == std::string::npos) {
            parts.push_back(line.substr(from));
            break;
        }
        parts.push_back(line.substr(from, space - from));
        from = space + 1;
    }
    return parts;
}

std::string join(const std::vector<std::string>& parts)
{
    std::string line;
    for (std::size_t i = 0; i < parts.size(); ++i)
        line += (i ? " " : "") + parts[i];
    return line;
}

// "x,y,z" with three numbers and nothing else, or false.
bool parseVector(const std::string& text, float value[3])
{
    const char* cursor = text.c_str();
    for (int axis = 0; axis < 3; ++axis) {
        char* end = nullptr;
        value[axis] = std::strtof(cursor, &end);
        if (end == cursor)
            return false;
        if (axis < 2 && *end != ',')
            return false;
        cursor = end + (axis < 2 ? 1 : 0);
    }
    return *cursor == '\0';
}

std::string formatVector(const float value[3])
{
    char text[96];
    std::snprintf(text, sizeof text, "%.9g,%.9g,%.9g", static_cast<double>(value[0]),
                  static_cast<double>(value[1]), static_cast<double>(value[2]));
    return text;
}

struct Section {
    std::vector<std::string> lines; // header first
    std::string name;
    bool repeated = false; // models (kind 0) and lights (kind 1)
};

std::string copySuffix(int copy)
{
    char text[16];
    std::snprintf(text, sizeof text, "#%02d", copy);
    return text;
}

} // namespace

std::string ScaledScene::scaleText(const std::string& sceneText, int copies, float spacing)
{
    // Lines before the first header (dropped by the reader) stay as they are.
    std::vector<std::string> prelude;
    std::vector<Section> sections;
    std::istringstream in(sceneText);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '$') {
            const std::vector<std::string> parts = tokens(line);
            Section section;
            section.name = parts.size() > 1 ? parts[1] : "";
            // No kind token means kind 0, a model. The kind is read as the
            // reader reads it (a leading number, "0\r" is 0); one that is no
            // number stays single and is left for the reader to report.
            const std::string kind = parts.size() > 2 ? parts[2] : "0";
            char* end = nullptr;
            const long number = std::strtol(kind.c_str(), &end, 10);
            section.repeated = end != kind.c_str() && (number == 0 || number == 1);
            section.lines.push_back(line);
            sections.push_back(section);
        } else if (sections.empty()) {
            prelude.push_back(line);
        } else {
            sections.back().lines.push_back(line);
        }
    }

    std::set<std::string> names;
    for (const Section& section : sections)
        names.insert(section.name);

    std::string out;
    for (const std::string& line : prelude)
        out += line + "\n";
    const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(copies))));
    for (const Section& section : sections) {
        const int count = section.repeated ? copies : 1;
        for (int copy = 0; copy < count; ++copy) {
            if (copy == 0) {
                for (const std::string& line : section.lines)
                    out += line + "\n";
                continue;
            }
            const float offset[3] = {static_cast<float>(copy % columns) * spacing, 0.0f,
                                     static_cast<float>(copy / columns) * spacing};
            std::vector<std::string> header = tokens(section.lines[0]);
            header.resize(std::max<std::size_t>(header.size(), 2));
            header[1] = section.name + copySuffix(copy);
            if (names.count(header[1]))
                throw std::runtime_error("scaled scene: section name " + header[1] + " is taken");
            out += join(header) + "\n";
            for (std::size_t i = 1; i < section.lines.size(); ++i) {
                // A file written with CR LF keeps its CR at the end of each line.
                std::string line = section.lines[i];
                const bool carriageReturn = !line.empty() && line.back() == '\r';
                if (carriageReturn)
                    line.pop_back();
                std::vector<std::string> parts = tokens(line);
                float position[3];
                if (parts.size() >= 3 && parts[0] == "position" && parseVector(parts[2], position)) {
                    for (int axis = 0; axis < 3; ++axis)
                        position[axis] += offset[axis];
                    parts[2] = formatVector(position);
                    out += join(parts) + (carriageReturn ? "\r\n" : "\n");
                } else {
                    out += section.lines[i] + "\n";
                }
            }
        }
    }
    return out;
}

ScaledScene::ScaledScene(const std::string& sourceRoot, int copies, float spacing)
{
    const fs::path source = fs::absolute(sourceRoot);
    std::ifstream in(source / "assets" / "scene.txt", std::ios::binary);
    if (!in)
        throw std::runtime_error("no assets/scene.txt under " + source.string());
    std::stringstream text;
    text << in.rdbuf();
    const std::string scaled = scaleText(text.str(), copies, spacing);

    std::string pattern = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder under " + fs::temp_directory_path().string());
    root = pattern;
    try {
        populate(source, scaled);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(root, ignored);
        throw;
    }
}

void ScaledScene::populate(const std::filesystem::path& source, const std::string& sceneText)
{
    fs::create_directory(fs::path(root) / "assets");
    fs::create_directory_symlink(source / "shader", fs::path(root) / "shader");
    for (const fs::directory_entry& entry : fs::directory_iterator(source / "assets")) {
        if (entry.path().filename() == "scene.txt")
            continue;
        fs::create_symlink(entry.path(), fs::path(root) / "assets" / entry.path().filename());
    }
    std::ofstream out(fs::path(root) / "assets" / "scene.txt", std::ios::binary);
    out << sceneText;
    if (!out)
        throw std::runtime_error("cannot write " + root + "/assets/scene.txt");
}

ScaledScene::~ScaledScene()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}
