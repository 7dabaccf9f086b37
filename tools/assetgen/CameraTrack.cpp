#include "CameraTrack.h"

#include "TextFormat.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace {
constexpr float kHalfPi = 1.57079633f;
}

CameraTrack::CameraTrack(std::string prefix, int kind) : prefix(std::move(prefix)), kind(kind) {}

void CameraTrack::start(int transfer, float duration, std::vector<glm::vec3> points)
{
    if (!segments.empty() || points.size() < 2)
        throw std::logic_error("CameraTrack::start: the first segment needs two or more points");
    segments.push_back({transfer, duration, std::move(points)});
}

void CameraTrack::next(int transfer, float duration, float lead, std::vector<glm::vec3> rest)
{
    if (segments.empty())
        throw std::logic_error("CameraTrack::next before start");
    const PathSegment& previous = segments.back();
    const glm::vec3 p0 = previous.points.back();
    const glm::vec3 arriving = velocity(previous, 1);
    const float startSlope = easingSlope(transfer, 0);
    const std::size_t degree = rest.size() + 1;
    glm::vec3 p1;
    if (glm::length(arriving) > 0.0f) {
        if (startSlope == 0.0f || lead != 0.0f)
            throw std::logic_error("CameraTrack::next: a moving join needs transfer 0 or 3 and no lead");
        // n (P1 - P0) slope / duration = arriving velocity
        p1 = p0 + arriving * duration / (static_cast<float>(degree) * startSlope);
    } else {
        if (startSlope != 0.0f || lead <= 0.0f)
            throw std::logic_error("CameraTrack::next: a join at rest needs transfer 1 or 2 and a lead");
        const std::vector<glm::vec3>& q = previous.points;
        p1 = p0 + glm::normalize(q[q.size() - 1] - q[q.size() - 2]) * lead;
    }
    std::vector<glm::vec3> points{p0, p1};
    points.insert(points.end(), rest.begin(), rest.end());
    segments.push_back({transfer, duration, std::move(points)});
}

float CameraTrack::easingSlope(int transfer, int end)
{
    switch (transfer) {
    case 1: return 0.0f;
    case 2: return end == 0 ? 0.0f : kHalfPi;
    case 3: return end == 0 ? kHalfPi : 0.0f;
    default: return 1.0f;
    }
}

glm::vec3 CameraTrack::velocity(const PathSegment& segment, int end)
{
    const std::vector<glm::vec3>& p = segment.points;
    const float n = static_cast<float>(p.size() - 1);
    const glm::vec3 leg = end == 0 ? p[1] - p[0] : p[p.size() - 1] - p[p.size() - 2];
    return leg * n * easingSlope(segment.transfer, end) / segment.duration;
}

std::string CameraTrack::text() const
{
    std::ostringstream out;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const PathSegment& segment = segments[i];
        char name[32];
        std::snprintf(name, sizeof name, "%s%02zu", prefix.c_str(), i + 1);
        out << "$path " << name << ' ' << kind << '\n';
        out << "degree 0 " << segment.points.size() - 1 << '\n';
        out << "duration 1 " << formatNumber(segment.duration) << '\n';
        out << "transfer 0 " << segment.transfer << '\n';
        for (std::size_t k = 0; k < segment.points.size(); ++k)
            out << "position" << k << " 3 " << formatVector(segment.points[k]) << '\n';
    }
    return out.str();
}
