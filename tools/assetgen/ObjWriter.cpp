#include "ObjWriter.h"

#include "TextFormat.h"

#include <map>
#include <sstream>
#include <vector>

namespace {

// Numbers each distinct text once, in order of first use (OBJ counts from 1).
class Pool {
public:
    std::size_t index(const std::string& text)
    {
        auto inserted = numbers.emplace(text, order.size() + 1);
        if (inserted.second)
            order.push_back(text);
        return inserted.first->second;
    }
    void print(std::ostream& out, const char* keyword) const
    {
        for (const std::string& line : order)
            out << keyword << ' ' << line << '\n';
    }

private:
    std::map<std::string, std::size_t> numbers;
    std::vector<std::string> order;
};

std::string join(const glm::vec3& v)
{
    return formatNumber(v.x) + " " + formatNumber(v.y) + " " + formatNumber(v.z);
}

} // namespace

std::string ObjWriter::objText(const std::string& name, const MeshBuilder& mesh)
{
    Pool positions, uvs, normals;
    std::ostringstream faces;
    for (const MeshPart& part : mesh.getParts()) {
        faces << "usemtl " << part.material << '\n';
        std::vector<std::string> corners;
        for (const MeshVertex& v : part.vertices) {
            corners.push_back(std::to_string(positions.index(join(v.position))) + "/" +
                              std::to_string(uvs.index(formatNumber(v.uv.x) + " " + formatNumber(v.uv.y))) + "/" +
                              std::to_string(normals.index(join(v.normal))));
        }
        for (std::size_t i = 0; i + 2 < part.indices.size(); i += 3)
            faces << "f " << corners[part.indices[i]] << ' ' << corners[part.indices[i + 1]] << ' '
                  << corners[part.indices[i + 2]] << '\n';
    }
    std::ostringstream out;
    out << "# " << name << ", made by velmora-assetgen\n";
    out << "mtllib " << name << ".mtl\n";
    out << "o " << name << '\n';
    positions.print(out, "v");
    uvs.print(out, "vt");
    normals.print(out, "vn");
    out << faces.str();
    return out.str();
}

std::string ObjWriter::mtlText(const MeshBuilder& mesh)
{
    std::ostringstream out;
    out << "# made by velmora-assetgen\n";
    for (const MeshPart& part : mesh.getParts()) {
        out << "\nnewmtl " << part.material << '\n';
        // The viewer's default highlight, stated, so that the surfaces keep it.
        out << "Ka 0 0 0\nKd 1 1 1\nKs 0.25 0.25 0.25\nNs 48\nd 1\nillum 2\n";
        out << "map_Kd " << part.texture << '\n';
    }
    return out.str();
}
