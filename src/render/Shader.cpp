#include "render/Shader.h"

#include <glm/gtc/type_ptr.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

namespace {


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
    if (!readWholeFile(path, source)) {
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
