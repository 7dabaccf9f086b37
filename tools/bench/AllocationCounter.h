#pragma once

#include <cstddef>

// Counts the C++ heap allocations of the whole process (every plain, array
// and nothrow operator new, on any thread) from start-up on. Linking
// AllocationCounter.cpp into a program replaces the global operator new.
class AllocationCounter {
public:
    static std::size_t count();
};
