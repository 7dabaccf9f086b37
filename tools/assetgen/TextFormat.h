#pragma once

#include <glm/glm.hpp>

#include <string>

// Number formatting shared by every text file the generator writes: at most
// five decimals, trailing zeros dropped, never "-0", so the files stay short
// and remake the same bytes.
std::string formatNumber(float value);
// "x,y,z" as the section text format writes vectors.
std::string formatVector(const glm::vec3& value);
