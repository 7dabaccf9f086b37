#pragma once

#include <iostream>
#include <sstream>
#include <string>

// Collects what std::cout receives while it lives (and so keeps it off the
// test log); the previous stream buffer is put back on destruction.
class CoutCapture {
public:
    CoutCapture() : previous(std::cout.rdbuf(buffer.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(previous); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;
    std::string text() const { return buffer.str(); }

private:
    std::ostringstream buffer;
    std::streambuf* previous;
};
