#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

// Helpers shared by the libFuzzer targets. Their LLVMFuzzerInitialize silences
// std::cout and std::cerr (the readers echo every line; sanitizer reports
// write to the descriptors) and makes a scratch folder for the inputs.

// Writes the input to `name` in the scratch folder and returns its path.
std::string writeFuzzFile(const std::uint8_t* data, std::size_t size, const std::string& name);

// An invariant of the code under test; a violation is a finding.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant violated: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// Runs `call`; false when it raised a standard conversion exception, the
// readers' and getters' documented answer to a malformed number. Anything
// else escaping is a finding.
template <typename Call>
bool convertsCleanly(Call call)
{
    try {
        call();
        return true;
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
    return false;
}
