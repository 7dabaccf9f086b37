#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

#include <memory>
#include <string>

// One OpenGL program assembled from GLSL source files, one file per stage.
//
// Owns: the program object (never deleted; it ends with the context).
// Use:  construct, attachShader() once per stage (vertex, fragment, then
//       geometry; or compute alone), link(); per use call use() and then the
//       setters. Setters write into the program that is current, so call
//       use() first. Every setter looks its location up by name anew.
// Always held through std::shared_ptr.
class Shader {
public:
    enum Stage { Vertex = 0, Fragment = 1, Geometry = 2, Compute = 3 };

    Shader();

    // The usual vertex + fragment program: attach both files, then link;
    // `fragmentDefines` goes to the fragment stage as for attachShader().
    static std::shared_ptr<Shader> build(const std::string& vertexPath, const std::string& fragmentPath,
                                         const std::string& fragmentDefines = "");

    // Reads `path`, compiles it as `stage` (0-3), attaches it and drains the
    // GL error queue. `defines` (whole "#define NAME value" lines) are
    // compiled in right after the file's first line (its #version), and the
    // file's own lines keep their numbers in the compiler's log. A line
    // `#include "name"` is replaced by the file `name`, relative to the
    // including file's directory (nested includes too): its lines show in
    // the log as source string 1 (2, ... for further includes), those of
    // `path` as string 0. Reports on stdout and carries on:
    //   "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ"            (stage skipped;
    //                                       also for an include not read)
    //   "ERROR::SHADER::COMPILATION_FAILED <path>\n<log>"     (still attached)
    //   "ERROR::SHADER::OPENGL_ERROR <code> at <path>"        (one per code)
    void attachShader(const char* path, int stage, const std::string& defines = "");
    void link();
    void use();
    GLuint getProgram() const { return program; }

    void setFloat(const std::string& name, float value);
    void setInt(const std::string& name, int value);
    void setUInt(const std::string& name, unsigned int value);
    void setVec3(const std::string& name, const glm::vec3& value);
    void setMat4(const std::string& name, const glm::mat4& value);
    // The same for literal names, which then need no std::string.
    void setFloat(const char* name, float value);
    void setInt(const char* name, int value);
    void setUInt(const char* name, unsigned int value);
    void setVec3(const char* name, const glm::vec3& value);
    void setMat4(const char* name, const glm::mat4& value);

private:
    GLuint program = 0;
    GLuint vertexShader = 0;
    GLuint fragmentShader = 0;
    GLuint geometryShader = 0;
    GLuint computeShader = 0;
};
