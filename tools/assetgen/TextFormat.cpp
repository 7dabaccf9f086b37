#include "TextFormat.h"

#include <cstdio>

std::string formatNumber(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.5f", static_cast<double>(value));
    std::string result(text);
    result.erase(result.find_last_not_of('0') + 1);
    if (result.back() == '.')
        result.pop_back();
    if (result == "-0")
        result = "0";
    return result;
}

std::string formatVector(const glm::vec3& value)
{
    return formatNumber(value.x) + "," + formatNumber(value.y) + "," + formatNumber(value.z);
}
