#include "FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdlib.h>

static std::string scratch; // made once per process

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::cout.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("velmora fuzz: scratch folder");
        std::exit(1);
    }
    scratch = pattern;
    // The folder holds one small file per target; it goes when the process ends.
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
    });
    return 0;
}

std::string writeFuzzFile(const std::uint8_t* data, std::size_t size, const std::string& name)
{
    const std::string path = scratch + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}
