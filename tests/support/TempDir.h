#pragma once

#include <string>

// The whole file at `path`, byte for byte; empty when it cannot be read.
std::string readFile(const std::string& path);

// A scratch folder removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return root; }
    std::string file(const std::string& relative) const { return root + "/" + relative; }
    // Copies shader/ and assets/ in, so the folder works as the viewer's
    // working directory and a test may break any file of them.
    void layOutRepository() const;
    // Writes `content` to the relative path, creating folders on the way.
    void write(const std::string& relative, const std::string& content) const;
    std::string read(const std::string& relative) const { return readFile(file(relative)); }

private:
    std::string root;
};
