#include "PlyWriter.h"

#include "TextFormat.h"

#include <sstream>
#include <stdexcept>

std::string PlyWriter::text(const MeshBuilder& mesh)
{
    if (mesh.getParts().size() != 1)
        throw std::invalid_argument("PlyWriter: a PLY file holds exactly one part");
    const MeshPart& part = mesh.getParts().front();
    std::ostringstream out;
    out << "ply\nformat ascii 1.0\ncomment made by velmora-assetgen\n";
    out << "comment TextureFile " << part.texture << '\n';
    out << "element vertex " << part.vertices.size() << '\n';
    for (const char* property : {"x", "y", "z", "nx", "ny", "nz", "s", "t"})
        out << "property float " << property << '\n';
    out << "element face " << part.indices.size() / 3 << '\n';
    out << "property list uchar int vertex_indices\nend_header\n";
    for (const MeshVertex& v : part.vertices) {
        out << formatNumber(v.position.x) << ' ' << formatNumber(v.position.y) << ' ' << formatNumber(v.position.z)
            << ' ' << formatNumber(v.normal.x) << ' ' << formatNumber(v.normal.y) << ' ' << formatNumber(v.normal.z)
            << ' ' << formatNumber(v.uv.x) << ' ' << formatNumber(v.uv.y) << '\n';
    }
    for (std::size_t i = 0; i + 2 < part.indices.size(); i += 3)
        out << "3 " << part.indices[i] << ' ' << part.indices[i + 1] << ' ' << part.indices[i + 2] << '\n';
    return out.str();
}
