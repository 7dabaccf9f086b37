#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    root = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

void TempDir::layOutRepository() const
{
    const fs::path source(VELMORA_SOURCE_DIR);
    fs::copy(source / "shader", fs::path(root) / "shader", fs::copy_options::recursive);
    fs::copy(source / "assets", fs::path(root) / "assets", fs::copy_options::recursive);
}

void TempDir::write(const std::string& relative, const std::string& content) const
{
    const fs::path target = fs::path(root) / relative;
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out << content;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

