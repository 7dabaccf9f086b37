#include "camera/Camera.h"

#include "scene/ConfigSection.h"

#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <map>
#include <numeric>
#include <stdexcept>

namespace {

// n! in 32-bit arithmetic: exact up to 12!, used only that far.
std::int32_t factorial(std::uint32_t k)
{
    return k < 2 ? 1 : factorial(k - 1) * static_cast<std::int32_t>(k);
}

// C(n, i) exactly, or 0 when it does not fit in 64 bits (n > 67 at worst).
std::uint64_t binomial64(unsigned n, unsigned i)
{
    const unsigned k = std::min(i, n - i);
    std::uint64_t c = 1;
    for (unsigned j = 1; j <= k; ++j) {
        // c = C(n - k + j - 1, j - 1) and j divides c * m; dividing out the
        // common factor first keeps every intermediate at most C(n, k).
        const std::uint64_t m = n - k + j;
        const std::uint64_t g = std::gcd(c, static_cast<std::uint64_t>(j));
        if (__builtin_mul_overflow(c / g, m / (j / g), &c))
            return 0;
    }
    return c;
}

// b(n, i, u) in double for degrees whose factorials overflow 32 bits.
double wideBernstein(unsigned n, unsigned i, double u)
{
    const double v = 1.0 - u;
    if (const std::uint64_t k = binomial64(n, i))
        return static_cast<double>(k) * std::pow(u, static_cast<double>(i)) * std::pow(v, static_cast<double>(n - i));
    // Here 0 < i < n, and the coefficient would overflow a double long before
    // the product does: work with logarithms.
    if (u == 0.0 || v == 0.0)
        return 0.0;
    const double logValue = std::lgamma(n + 1.0) - std::lgamma(i + 1.0) - std::lgamma(n - i + 1.0) +
                            i * std::log(std::fabs(u)) + (n - i) * std::log(std::fabs(v));
    const bool negative = (u < 0.0 && i % 2 == 1) != (v < 0.0 && (n - i) % 2 == 1);
    return negative ? -std::exp(logValue) : std::exp(logValue);
}

// Easing of the normalised segment time u (0..1).
float ease(int transfer, float u)
{
    switch (transfer) {
    case 1: // ease in and out, in float with the float pi
        return 0.5f - std::cos(u * 3.1415927f) * 0.5f;
    case 2: // ease in, in double with the float pi widened
        return static_cast<float>(1.0 - std::cos(static_cast<double>(u) * 0.5 * 3.1415927410125732));
    case 3: // ease out
        return static_cast<float>(-std::cos((static_cast<double>(u) + 1.0) * 0.5 * 3.1415927410125732));
    default:
        return u;
    }
}

// Moves past every segment whose duration the clock strictly exceeds,
// carrying the excess time into the next one. A looping track goes on from
// its first segment, after whole turns are taken off the clock at once.
void advance(const std::vector<PathSegment>& track, int& segment, double& clock, bool loop)
{
    double turn = 0.0;
    for (const PathSegment& s : track)
        turn += loop ? std::max(0.0, static_cast<double>(s.duration)) : 0.0;
    if (turn > 0.0 && std::isfinite(clock))
        clock = std::fmod(clock, turn);
    for (;;) {
        while (static_cast<std::size_t>(segment) < track.size() &&
               clock > static_cast<double>(track[static_cast<std::size_t>(segment)].duration)) {
            clock -= static_cast<double>(track[static_cast<std::size_t>(segment)].duration);
            ++segment;
        }
        if (turn <= 0.0 || static_cast<std::size_t>(segment) < track.size())
            return;
        segment = 0;
    }
}

bool isFinite(const glm::vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

Camera::Camera(const glm::vec3& startPosition, const glm::vec3& referenceFront, const glm::vec3& referenceUp,
               const std::string& pathFile)
    : position(startPosition), initialFront(referenceFront), worldUp(referenceUp)
{
    updateVectors();
    loadAnimationPath(pathFile);
}

glm::mat4 Camera::getViewMatrix() const { return glm::lookAt(position, position + front, up); }

void Camera::move(CameraMovement direction, float deltaTime)
{
    if (animated)
        return;
    const float step = movementSpeed * deltaTime;
    switch (direction) {
    case Down: position -= up * step; break;
    case Up: position += up * step; break;
    case Right: position += right * step; break;
    case Left: position -= right * step; break;
    default: break;
    }
}

void Camera::rotate(float xOffset, float yOffset)
{
    if (animated)
        return;
    const double sensitivity = 0.3;
    yaw = static_cast<float>(static_cast<double>(xOffset) * sensitivity + static_cast<double>(yaw));
    pitch = static_cast<float>(static_cast<double>(yOffset) * sensitivity + static_cast<double>(pitch));
    pitch = std::max(std::min(pitch, 89.0f), -89.0f);

    const float y = glm::radians(yaw);
    const float p = glm::radians(pitch);
    const glm::mat4 yawRotation = glm::rotate(glm::mat4(1.0f), -y, glm::vec3(0.0f, 1.0f, 0.0f));
    const glm::mat4 pitchRotation = glm::rotate(glm::mat4(1.0f), -p, glm::vec3(1.0f, 0.0f, 0.0f));
    orientation = glm::mat3(yawRotation * pitchRotation);
    updateVectors();
}

void Camera::dolly(float offset) { position += front * offset; }

void Camera::toggleAnimation() { animated = !animated; }

void Camera::resetAnimation()
{
    std::cout << "Resetting animation" << std::endl;
    positionClock = 0.0;
    targetClock = 0.0;
    positionSegment = 0;
    targetSegment = 0;
}

void Camera::updateAnimation(float deltaTime)
{
    if (!animated)
        return;
    positionClock += static_cast<double>(deltaTime);
    targetClock += static_cast<double>(deltaTime);
    advance(positionTrack, positionSegment, positionClock, looping);
    advance(targetTrack, targetSegment, targetClock, looping);
    // A finished track keeps the point of its last frame.
    if (static_cast<std::size_t>(positionSegment) < positionTrack.size())
        position = segmentPoint(positionTrack[static_cast<std::size_t>(positionSegment)], positionClock);
    if (static_cast<std::size_t>(targetSegment) < targetTrack.size())
        target = segmentPoint(targetTrack[static_cast<std::size_t>(targetSegment)], targetClock);
    aimAt(target - position);
}

void Camera::setPath(std::vector<PathSegment> positionSegments, std::vector<PathSegment> targetSegments, bool loop)
{
    positionTrack = std::move(positionSegments);
    targetTrack = std::move(targetSegments);
    looping = loop;
    positionClock = 0.0;
    targetClock = 0.0;
    positionSegment = 0;
    targetSegment = 0;
}

glm::vec3 Camera::segmentPoint(const PathSegment& segment, double t)
{
    // A segment without playing time is over once reached: its end point,
    // rather than 0 / 0.
    const float u =
        segment.duration > 0.0f ? static_cast<float>(t / static_cast<double>(segment.duration)) : 1.0f;
    const float s = ease(segment.transfer, u);
    const std::size_t count = segment.points.size();
    glm::vec3 point(0.0f);
    for (std::size_t i = 0; i < count; ++i)
        point += bernstein(static_cast<unsigned>(count - 1), static_cast<unsigned>(i), s) * segment.points[i];
    return point;
}

float Camera::bernstein(unsigned n, unsigned i, float u)
{
    if (i > n)
        return 0.0f;
    if (n <= 12) {
        const float k = static_cast<float>(factorial(n) / (factorial(i) * factorial(n - i)));
        return k * std::pow(u, static_cast<float>(i)) * std::pow(1.0f - u, static_cast<float>(n - i));
    }
    return static_cast<float>(wideBernstein(n, i, static_cast<double>(u)));
}

void Camera::updateVectors() { aimAt(orientation * initialFront); }

// A direction of zero length, or one along worldUp, has no right vector: then
// front, right and up keep their previous values instead of turning into NaNs.
void Camera::aimAt(const glm::vec3& direction)
{
    const glm::vec3 newFront = glm::normalize(direction);
    const glm::vec3 newRight = glm::normalize(glm::cross(newFront, worldUp));
    const glm::vec3 newUp = glm::normalize(glm::cross(newRight, newFront));
    if (!isFinite(newFront) || !isFinite(newRight) || !isFinite(newUp))
        return;
    front = newFront;
    right = newRight;
    up = newUp;
}

void Camera::loadAnimationPath(const std::string& pathFile)
{
    if (pathFile.empty())
        return;
    std::map<std::string, ConfigSection> sections;
    // The reader's own errors already name the file and line.
    readConfigFile(sections, pathFile);
    try {
        for (const auto& entry : sections) {
            const ConfigSection& section = entry.second;
            // Read for every section, whatever its kind.
            const int degree = section.getInt("degree");
            const float duration = section.getFloat("duration");
            const int transfer = section.getInt("transfer");
            if (section.kind != 10 && section.kind != 11)
                continue;
            if (degree > maxDegree)
                throw std::out_of_range("section '" + section.name + "' key 'degree': '" +
                                        section.getString("degree") + "' is above the largest degree " +
                                        std::to_string(maxDegree));
            PathSegment segment;
            segment.transfer = transfer;
            segment.duration = duration;
            for (int i = 0; i <= degree; ++i)
                segment.points.push_back(section.getVec3("position" + std::to_string(i)));
            (section.kind == 10 ? positionTrack : targetTrack).push_back(std::move(segment));
        }
    } catch (const std::invalid_argument& error) {
        throw std::invalid_argument(pathFile + ": " + error.what());
    } catch (const std::out_of_range& error) {
        throw std::out_of_range(pathFile + ": " + error.what());
    }
}
