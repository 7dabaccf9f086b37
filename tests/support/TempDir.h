#pragma once

#include <string>

// The whole file at `path`, byte for byte; empty when it cannot be read.
std::string readFile(const std::string& path);

// A scratch folder removed with its contents on destruction. layOutRepository()
// makes it look like the repository root to the viewer: shader/ and assets/
// become copies, so a test may break or remove any file in them.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return root; }
    std::string file(const std::string& relative) const { return root + "/" + relative; }

    void layOutRepository() const;
    // Writes `content` to the relative path, creating folders on the way.
    void write(const std::string& relative, const std::string& content) const;
    void remove(const std::string& relative) const;
    std::string read(const std::string& relative) const;

private:
    std::string root;
};
