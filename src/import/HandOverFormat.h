#pragma once

#include "render/Material.h"

#include <array>
#include <cstddef>

// The layout both ends of the hand-over share: the import process writes it
// (ImportedModel::encodeInto), the viewer reads it (MappedModel).
namespace handover {

constexpr char magic[4] = {'V', 'M', 'D', '3'};
// Arrays start at multiples of this many bytes from the start.
constexpr std::size_t arrayAlignment = 16;

inline std::size_t paddingAt(std::size_t offset)
{
    return (arrayAlignment - offset % arrayAlignment) % arrayAlignment;
}

// The material's numbers, in the order they travel (15 floats).
template <typename M> auto materialFloats(M& m)
{
    return std::array<decltype(&m.normalScale), 15>{
        &m.baseColorFactor.r, &m.baseColorFactor.g, &m.baseColorFactor.b, &m.baseColorFactor.a,
        &m.normalScale,       &m.emissiveFactor.r,  &m.emissiveFactor.g,  &m.emissiveFactor.b,
        &m.alphaCutoff,       &m.metallic,          &m.roughness,         &m.specularColor.r,
        &m.specularColor.g,   &m.specularColor.b,   &m.shininess};
}

} // namespace handover
