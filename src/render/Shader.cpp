#include "render/Shader.h"

#include <glm/gtc/type_ptr.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

// Deepest chain of nested #include lines followed; a file that includes
// itself, directly or not, stops there with a read error.
constexpr int maxIncludeDepth = 8;

bool readWholeFile(const char* path, std::string& text)
{
    std::ifstream file(path);
    if (!file.is_open())
        return false;
    std::stringstream stream;
    stream << file.rdbuf();
    if (file.bad())
        return false;
    text = stream.str();
    return true;
}

// The directory part of `path`, with its trailing slash ("" for none).
std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Replaces every line of the form `#include "name"` (spaces allowed around
// the directive) with the text of `name`, read relative to the directory of
// the file that names it, and included files' own includes likewise. Each
// included text is wrapped in #line directives: it is numbered as GLSL
// source string `nextString` (1, 2, ... in the order met), and the lines
// after it get their own numbers back, so compile logs point at the right
// file and line. False when a file cannot be read.
bool resolveIncludes(std::string& text, const std::string& path, int sourceString, int& nextString, int depth)
{
    std::string result;
    std::size_t lineStart = 0;
    int lineNumber = 1;
    bool changed = false;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        const std::string line = text.substr(lineStart, lineEnd - lineStart);
        const std::size_t hash = line.find_first_not_of(" \t");
        const bool directive = hash != std::string::npos && line.compare(hash, 8, "#include") == 0;
        const std::size_t open = directive ? line.find('"', hash + 8) : std::string::npos;
        const std::size_t close = open == std::string::npos ? std::string::npos : line.find('"', open + 1);
        if (close == std::string::npos) {
            result.append(text, lineStart, lineEnd - lineStart);
            if (lineEnd < text.size())
                result += '\n';
        } else {
            const std::string includePath = directoryOf(path) + line.substr(open + 1, close - open - 1);
            std::string included;
            if (depth >= maxIncludeDepth || !readWholeFile(includePath.c_str(), included))
                return false;
            const int number = nextString++;
            if (!resolveIncludes(included, includePath, number, nextString, depth + 1))
                return false;
            if (!included.empty() && included.back() != '\n')
                included += '\n';
            result += "#line 1 " + std::to_string(number) + "\n" + included + "#line " +
                      std::to_string(lineNumber + 1) + " " + std::to_string(sourceString) + "\n";
            changed = true;
        }
        lineStart = lineEnd + 1;
        ++lineNumber;
    }
    if (changed)
        text = result;
    return true;
}

} // namespace

Shader::Shader()
    : program(glCreateProgram())
{
}

std::shared_ptr<Shader> Shader::build(const std::string& vertexPath, const std::string& fragmentPath,
                                      const std::string& fragmentDefines)
{
    auto shader = std::make_shared<Shader>();
    shader->attachShader(vertexPath.c_str(), Vertex);
    shader->attachShader(fragmentPath.c_str(), Fragment, fragmentDefines);
    shader->link();
    return shader;
}

void Shader::attachShader(const char* path, int stage, const std::string& defines)
{
    GLenum type;
    GLuint* field;
    switch (stage) {
    case Vertex: type = GL_VERTEX_SHADER; field = &vertexShader; break;
    case Fragment: type = GL_FRAGMENT_SHADER; field = &fragmentShader; break;
    case Geometry: type = GL_GEOMETRY_SHADER; field = &geometryShader; break;
    case Compute: type = GL_COMPUTE_SHADER; field = &computeShader; break;
    default: return; // unknown stage: nothing is created or attached
    }

    std::string source;
    int nextString = 1;
    if (!readWholeFile(path, source) || !resolveIncludes(source, path, 0, nextString, 0)) {
        std::cout << "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ" << std::endl;
        return;
    }

    const GLuint shader = glCreateShader(type);
    *field = shader;
    if (!defines.empty()) {
        // After the #version line, which must come first; "#line 2" gives
        // the file's second line its number back.
        const std::size_t firstLineEnd = source.find('\n');
        const std::size_t at = firstLineEnd == std::string::npos ? source.size() : firstLineEnd + 1;
        source.insert(at, (firstLineEnd == std::string::npos ? "\n" : "") + defines + "#line 2\n");
    }
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);

    GLint success = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &success);
    if (!success) {
        char log[512] = {};
        glGetShaderInfoLog(shader, 512, nullptr, log);
        std::cout << "ERROR::SHADER::COMPILATION_FAILED " << path << "\n" << log << std::endl;
    }

    glAttachShader(program, shader);
    glDeleteShader(shader); // lives on while attached

    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        std::cout << "ERROR::SHADER::OPENGL_ERROR " << static_cast<unsigned>(error) << " at " << path << std::endl;
}

void Shader::link() { glLinkProgram(program); }

void Shader::use() { glUseProgram(program); }

void Shader::setFloat(const std::string& name, float value) { setFloat(name.c_str(), value); }
void Shader::setInt(const std::string& name, int value) { setInt(name.c_str(), value); }
void Shader::setUInt(const std::string& name, unsigned int value) { setUInt(name.c_str(), value); }
void Shader::setVec3(const std::string& name, const glm::vec3& value) { setVec3(name.c_str(), value); }
void Shader::setMat4(const std::string& name, const glm::mat4& value) { setMat4(name.c_str(), value); }

void Shader::setFloat(const char* name, float value) { glUniform1f(glGetUniformLocation(program, name), value); }

void Shader::setInt(const char* name, int value) { glUniform1i(glGetUniformLocation(program, name), value); }

void Shader::setUInt(const char* name, unsigned int value)
{
    glUniform1ui(glGetUniformLocation(program, name), value);
}

void Shader::setVec3(const char* name, const glm::vec3& value)
{
    glUniform3fv(glGetUniformLocation(program, name), 1, glm::value_ptr(value));
}

void Shader::setMat4(const char* name, const glm::mat4& value)
{
    glUniformMatrix4fv(glGetUniformLocation(program, name), 1, GL_FALSE, glm::value_ptr(value));
}
