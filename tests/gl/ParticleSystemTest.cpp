#include "GlContext.h"
#include "ImageProbe.h"
#include "effects/ParticleSystem.h"
#include "render/Shader.h"

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// The particle system with its real shaders: buffers, counter and pixels are
// read back from the GPU.
namespace {

constexpr int capacity = 256;
constexpr double fountainRate = 1600.0; // the viewer's rates, per minute
constexpr double burstRate = 32.0;
const glm::vec4 sentinel(12345.0f, 12345.0f, 12345.0f, -1.0f);

std::vector<glm::vec4> readRecords(GLuint buffer)
{
    std::vector<glm::vec4> records(capacity);
    glBindBuffer(GL_COPY_READ_BUFFER, buffer);
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, capacity * sizeof(glm::vec4), records.data());
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return records;
}

void fillRecords(GLuint buffer, const glm::vec4& value)
{
    const std::vector<glm::vec4> records(capacity, value);
    glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
    glBufferSubData(GL_COPY_WRITE_BUFFER, 0, capacity * sizeof(glm::vec4), records.data());
    glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
}

GLuint readCounter(GLuint buffer)
{
    GLuint value = 0;
    glBindBuffer(GL_COPY_READ_BUFFER, buffer);
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, sizeof value, &value);
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return value;
}

std::vector<glm::vec4> positions(const ParticleSystem& p) { return readRecords(p.getPositionBuffer(p.getCurrent())); }
std::vector<glm::vec4> velocities(const ParticleSystem& p) { return readRecords(p.getVelocityBuffer(p.getCurrent())); }

// Steps the system without emitting until `seconds` have passed.
void age(ParticleSystem& particles, double seconds, double step = 1.0 / 60.0)
{
    for (double t = 0.0; t < seconds - 1e-9; t += step)
        particles.update(step);
}

class ParticleSystemTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        testing::internal::CaptureStdout();
        particles = std::make_unique<ParticleSystem>();
        constructionOutput = testing::internal::GetCapturedStdout();
        particles->setScale(0.2f);
    }

    std::unique_ptr<ParticleSystem> particles;
    std::string constructionOutput;
};

} // namespace

TEST_F(ParticleSystemTest, ConstructionSetsUpBuffersAndCounterSilently)
{
    EXPECT_EQ(constructionOutput, "Creating Particles - max: 256\n");
    EXPECT_EQ(particles->getCount(), 0u);
    EXPECT_EQ(particles->getTime(), 0.0);
    EXPECT_EQ(particles->getCurrent(), 0u);
    EXPECT_EQ(readCounter(particles->getCounterBuffer()), 0u) << "the counter starts at 0 so counts are exact";

    for (unsigned int set = 0; set < 2; ++set) {
        for (GLuint buffer : {particles->getPositionBuffer(set), particles->getVelocityBuffer(set)}) {
            GLint size = 0;
            glBindBuffer(GL_COPY_READ_BUFFER, buffer);
            glGetBufferParameteriv(GL_COPY_READ_BUFFER, GL_BUFFER_SIZE, &size);
            EXPECT_EQ(size, capacity * 16);
        }
    }

    // An error left by earlier code is reported under its own prefix.
    glEnable(0x7FFF);
    testing::internal::CaptureStdout();
    ParticleSystem second;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Preparticle OpenGL Error: 1280\nCreating Particles - max: 256\n");
}

TEST_F(ParticleSystemTest, FountainEmitsOneParticlePerInstantCrossed)
{
    // One-second frames: 1600 / 60 = 26.7 instants per second.
    int total = 0;
    for (int frame = 0; frame < 3; ++frame) {
        const auto before = particles->getCount();
        particles->emitFountain(1.0, fountainRate, glm::vec3(-6, 1, 2));
        const int added = static_cast<int>(particles->getCount() - before);
        EXPECT_TRUE(added == 26 || added == 27) << "frame " << frame << " added " << added;
        total += added;
        particles->update(1.0);
    }
    EXPECT_TRUE(total == 79 || total == 80) << total;

    // Short frames accumulate: instants are counted on the running clock, so
    // frames shorter than the interval still emit at the right average rate.
    ParticleSystem fresh;
    fresh.setScale(0.2f);
    int emitted = 0;
    for (int frame = 0; frame < 100; ++frame) {
        const auto before = fresh.getCount();
        fresh.emitFountain(0.01, fountainRate, glm::vec3(0.0f));
        emitted += static_cast<int>(fresh.getCount() - before);
        fresh.update(0.01);
    }
    EXPECT_TRUE(emitted == 26 || emitted == 27) << emitted;
}

TEST_F(ParticleSystemTest, BurstFiresAtMostOncePerFrame)
{
    particles->emitBurst(1.0, burstRate, glm::vec3(5, 25, 5));
    EXPECT_EQ(particles->getCount(), 0u) << "no instant in the first second (interval 1.875 s)";
    particles->update(1.0);

    // Ten seconds cross five burst instants: still one burst of 64.
    particles->emitBurst(10.0, burstRate, glm::vec3(5, 25, 5));
    EXPECT_EQ(particles->getCount(), 64u);
}

TEST_F(ParticleSystemTest, FullSystemDropsNewParticlesUntilSomeRetire)
{
    particles->emitFountain(100.0, fountainRate, glm::vec3(0.0f));
    ASSERT_EQ(particles->getCount(), 256u);
    const auto fullPositions = positions(*particles);
    const auto fullVelocities = velocities(*particles);

    particles->emitBurst(100.0, burstRate, glm::vec3(5, 25, 5));
    EXPECT_EQ(particles->getCount(), 256u);
    EXPECT_EQ(positions(*particles), fullPositions) << "a full system must not overwrite particles";
    EXPECT_EQ(velocities(*particles), fullVelocities);

    particles->update(0.1); // nobody is old enough to retire
    EXPECT_EQ(particles->getCount(), 256u);
    particles->emitFountain(1.0, fountainRate, glm::vec3(0.0f));
    EXPECT_EQ(particles->getCount(), 256u);

    particles->update(10.0); // everybody retires
    EXPECT_EQ(particles->getCount(), 0u);
    particles->emitFountain(1.0, fountainRate, glm::vec3(0.0f));
    EXPECT_GE(particles->getCount(), 26u);
}

TEST_F(ParticleSystemTest, SameRandomSequenceSpawnsIdenticalParticles)
{
    // A fresh process starts std::rand's sequence as srand(1) does.
    auto spawnAll = [](ParticleSystem& system) {
        system.setScale(0.2f);
        system.emitFountain(1.0, fountainRate, glm::vec3(-6, 1, 2));
        system.update(1.0);
        system.emitBurst(1.0, burstRate, glm::vec3(5, 25, 5));
        system.emitFountain(1.0, fountainRate, glm::vec3(-6, 1, 2));
        return std::make_pair(positions(system), velocities(system));
    };
    std::srand(1);
    ParticleSystem first;
    const auto a = spawnAll(first);
    std::srand(1);
    ParticleSystem second;
    const auto b = spawnAll(second);
    ASSERT_EQ(first.getCount(), second.getCount());
    ASSERT_GT(first.getCount(), 64u + 26u);
    for (std::uint64_t k = 0; k < first.getCount(); ++k) {
        EXPECT_EQ(a.first[k], b.first[k]) << "position " << k;
        EXPECT_EQ(a.second[k], b.second[k]) << "velocity " << k;
    }

    // Without resetting, the sequence continues: the records differ.
    ParticleSystem third;
    const auto c = spawnAll(third);
    int same = 0;
    for (std::uint64_t k = 0; k < third.getCount(); ++k)
        same += c.second[k] == a.second[k];
    EXPECT_LT(same, 5);
}

TEST_F(ParticleSystemTest, FountainRecordsRiseAtFourWithScaledSpread)
{
    for (float scale : {1.0f, 0.2f}) {
        ParticleSystem system;
        system.setScale(scale);
        system.update(7.0); // emission time 7 s: phase 7 mod 6 = 1
        system.emitFountain(1.0, fountainRate, glm::vec3(-6, 1, 2));
        const auto n = system.getCount();
        ASSERT_GE(n, 26u);
        const auto p = positions(system);
        const auto v = velocities(system);
        float widest = 0.0f;
        for (std::uint64_t k = 0; k < n; ++k) {
            EXPECT_EQ(p[k], glm::vec4(-6, 1, 2, 4.0f)) << k;
            EXPECT_EQ(v[k].y, 4.0f) << "the upward speed is not scaled";
            const float horizontal = glm::length(glm::vec2(v[k].x, v[k].z));
            EXPECT_LE(horizontal, 4.0f * scale + 1e-5f) << k;
            widest = std::max(widest, horizontal);
            EXPECT_EQ(v[k].w, 1.0f) << "phase";
        }
        EXPECT_GT(widest, 2.0f * scale) << "the spread fills the disc";
    }
}

TEST_F(ParticleSystemTest, BurstStartsNearItsPointAtSpeedFour)
{
    particles->update(2.0);
    particles->emitBurst(2.0, burstRate, glm::vec3(5, 25, 5));
    ASSERT_EQ(particles->getCount(), 64u);
    const auto p = positions(*particles);
    const auto v = velocities(*particles);
    EXPECT_LE(glm::distance(glm::vec3(p[0]), glm::vec3(5, 25, 5)), 2.0f);
    EXPECT_GT(glm::distance(glm::vec3(p[0]), glm::vec3(5, 25, 5)), 0.0f) << "the point is jittered";
    int rising = 0;
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(p[k], p[0]) << "one burst shares one point";
        EXPECT_EQ(p[k].w, 2.0f);
        EXPECT_NEAR(glm::length(glm::vec3(v[k])), 4.0f, 1e-4f) << k;
        EXPECT_EQ(v[k].w, 2.0f) << "phase of emission time 2 s";
        rising += v[k].y > 0.0f;
    }
    EXPECT_GT(rising, 10) << "sparks fly in all directions";
    EXPECT_LT(rising, 54);
}

TEST_F(ParticleSystemTest, CounterIsBoundForEveryDispatchAndCountsExactly)
{
    // First dispatch of the run, nothing to simulate: nothing survives.
    particles->update(0.01);
    EXPECT_EQ(particles->getCount(), 0u);

    // Someone else's counter at binding 4 must neither be used nor changed.
    GLuint foreign = 0;
    const GLuint seventySeven = 77;
    glGenBuffers(1, &foreign);
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, foreign);
    glBufferData(GL_ATOMIC_COUNTER_BUFFER, sizeof seventySeven, &seventySeven, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_ATOMIC_COUNTER_BUFFER, 4, foreign);

    particles->emitFountain(0.5, fountainRate, glm::vec3(0.0f));
    const auto emitted = particles->getCount();
    ASSERT_GT(emitted, 0u);
    particles->update(0.01);
    EXPECT_EQ(particles->getCount(), emitted);
    EXPECT_EQ(readCounter(foreign), 77u);
    EXPECT_EQ(readCounter(particles->getCounterBuffer()), 0u) << "reset for the next dispatch";
}

TEST_F(ParticleSystemTest, UpdatePacksSurvivorsAtTheStartOfTheOutputSet)
{
    // 64 sparks and 53 drops born together; after two seconds only the drops
    // are still alive.
    particles->emitBurst(2.0, burstRate, glm::vec3(5, 25, 5));
    particles->emitFountain(2.0, fountainRate, glm::vec3(-6, 1, 2));
    const auto born = particles->getCount();
    ASSERT_EQ(born, 64u + 53u);
    const unsigned int output = 1 - particles->getCurrent();
    fillRecords(particles->getPositionBuffer(output), sentinel);
    fillRecords(particles->getVelocityBuffer(output), sentinel);

    particles->update(2.0);
    ASSERT_EQ(particles->getCurrent(), output);
    ASSERT_EQ(particles->getCount(), 53u);
    const auto p = positions(*particles);
    const auto v = velocities(*particles);
    for (int k = 0; k < capacity; ++k) {
        if (k < 53) {
            EXPECT_GE(p[k].w, 4.0f) << "survivor " << k << " is a fountain drop";
            EXPECT_LT(p[k].w, 5.0f) << k;
            EXPECT_LT(v[k].y, 4.0f) << "gravity slows the drops";
            EXPECT_EQ(v[k].w, 0.0f) << "the phase travels with the particle";
        } else {
            EXPECT_EQ(p[k], sentinel) << "nothing is written past the survivors, slot " << k;
            EXPECT_EQ(v[k], sentinel) << k;
        }
    }
}

TEST_F(ParticleSystemTest, UpdateMovesByVelocityAndGravity)
{
    particles->emitFountain(0.04, fountainRate, glm::vec3(-6, 1, 2)); // one instant at 0.0375 s
    ASSERT_EQ(particles->getCount(), 1u);
    const glm::vec4 v0 = velocities(*particles)[0];
    const float dt = 0.05f;
    particles->update(dt);
    ASSERT_EQ(particles->getCount(), 1u);
    const glm::vec4 p = positions(*particles)[0];
    const glm::vec4 v = velocities(*particles)[0];
    EXPECT_NEAR(p.x, -6.0f + v0.x * dt, 1e-5f);
    EXPECT_NEAR(p.z, 2.0f + v0.z * dt, 1e-5f);
    EXPECT_LT(p.y, 1.0f + 4.0f * dt) << "gravity pulls";
    EXPECT_GT(p.y, 1.0f + 4.0f * dt - 10.0f * dt * dt) << "but not harder than about 10 units/s^2";
    EXPECT_LT(v.y, 4.0f);
    EXPECT_GT(v.y, 4.0f - 10.0f * dt);
    EXPECT_EQ(v.x, v0.x);
}

TEST_F(ParticleSystemTest, ParticlesPastTheirLifetimeAreGone)
{
    // Sparks fade within two seconds.
    particles->emitBurst(2.0, burstRate, glm::vec3(5, 25, 5));
    ASSERT_EQ(particles->getCount(), 64u);
    age(*particles, 1.0);
    EXPECT_EQ(particles->getCount(), 64u);
    age(*particles, 1.0);
    EXPECT_EQ(particles->getCount(), 0u);

    // Drops rise and fall back for a few seconds.
    particles->emitFountain(0.5, fountainRate, glm::vec3(-6, 1, 2));
    const auto drops = particles->getCount();
    ASSERT_GE(drops, 13u);
    age(*particles, 2.5);
    EXPECT_EQ(particles->getCount(), drops);
    const auto p = positions(*particles);
    for (std::uint64_t k = 0; k < drops; ++k)
        EXPECT_GT(p[k].y, 1.5f) << "still above the spout at 2.5 s";
    age(*particles, 2.5);
    EXPECT_EQ(particles->getCount(), 0u);
}

TEST_F(ParticleSystemTest, ComputeNeverHandsOutMoreThanMaximumCount)
{
    // The compute program alone, fed 256 live particles and room for 100.
    auto program = std::make_shared<Shader>();
    program->attachShader("shader/particles.comp", Shader::Compute);
    program->link();
    GLuint buffers[5];
    glGenBuffers(5, buffers);
    const std::vector<glm::vec4> fresh(capacity, glm::vec4(0, 0, 0, 4.0f));
    for (int i = 0; i < 4; ++i) {
        glBindBufferBase(GL_SHADER_STORAGE_BUFFER, i, buffers[i]);
        glBufferData(GL_SHADER_STORAGE_BUFFER, capacity * 16, fresh.data(), GL_DYNAMIC_DRAW);
    }
    const GLuint zero = 0;
    glBindBufferBase(GL_ATOMIC_COUNTER_BUFFER, 4, buffers[4]);
    glBufferData(GL_ATOMIC_COUNTER_BUFFER, 4, &zero, GL_DYNAMIC_DRAW);
    program->use();
    program->setUInt("LastCount", 256);
    program->setUInt("MaximumCount", 100);
    program->setFloat("DeltaT", 0.01f);
    program->setFloat("Scale", 0.2f);
    glDispatchCompute(1, 1, 1);
    glMemoryBarrier(GL_ALL_BARRIER_BITS);
    EXPECT_EQ(readCounter(buffers[4]), 100u);
    EXPECT_TRUE(GlContext::drainErrors().empty());
}

namespace {

// A 256x256 colour + depth target the sprites are drawn into.
class SpriteTarget {
public:
    SpriteTarget()
    {
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(2, renderbuffers);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[0]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size, size);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size, size);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers[0]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers[1]);
        glViewport(0, 0, size, size);
        glEnable(GL_DEPTH_TEST);
    }
    void clear(float grey)
    {
        glClearColor(grey, grey, grey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    Image image() const { return GlContext::readImage(size, size); }
    // Where `world` lands, in pixels with y down.
    glm::vec2 project(const glm::vec3& world) const
    {
        const glm::vec4 clip = projection * view * glm::vec4(world, 1.0f);
        const glm::vec2 ndc = glm::vec2(clip) / clip.w;
        return glm::vec2((ndc.x * 0.5f + 0.5f) * size, (0.5f - ndc.y * 0.5f) * size);
    }
    // Looks at `target` from 5 units towards +z.
    void aim(const glm::vec3& target) { view = glm::lookAt(target + glm::vec3(0, 0, 5), target, glm::vec3(0, 1, 0)); }

    static constexpr int size = 256;
    glm::mat4 view{1.0f};
    glm::mat4 projection = glm::perspective(glm::radians(45.0f), 1.0f, 0.1f, 100.0f);
    GLuint framebuffer = 0;
    GLuint renderbuffers[2] = {0, 0};
};

} // namespace

TEST_F(ParticleSystemTest, DrawShowsARoundBlueGlowWhereTheDropProjects)
{
    SpriteTarget target;
    particles->emitFountain(0.04, fountainRate, glm::vec3(0.0f));
    particles->update(0.001);
    ASSERT_EQ(particles->getCount(), 1u);
    const glm::vec3 drop(positions(*particles)[0]);
    target.aim(drop + glm::vec3(0.5f, 0.3f, 0.0f)); // off centre, so a fixed spot would be caught
    target.clear(0.0f);
    particles->draw(target.view, target.projection);
    const Image image = target.image();

    // Scale 0.2 gives a sprite 0.4 units wide: about 25 px at 5 units.
    const glm::vec2 centre = target.project(drop);
    const float halfSize = 0.2f * 256.0f / (2.0f * std::tan(glm::radians(22.5f)) * 5.0f);
    const glm::vec3 core = image.at(int(centre.x), int(centre.y));
    EXPECT_GT(core.b, 200.0f) << "bright at the drop";
    EXPECT_GT(core.b, core.r) << "fountain drops are blue";
    const glm::vec3 half = image.at(int(centre.x + 0.5f * halfSize), int(centre.y));
    EXPECT_LT(half.b, core.b) << "soft: dimmer half way out";
    EXPECT_GT(half.b, 10.0f);
    const glm::vec3 corner = image.at(int(centre.x + 0.85f * halfSize), int(centre.y - 0.85f * halfSize));
    EXPECT_EQ(corner, glm::vec3(0.0f)) << "round: the square's corners stay dark";

    // Everything more than a sprite away from the drop stays black: the sprite
    // is exact geometry, so not a single pixel (largest difference 0, share 0).
    int lit = 0, outside = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (glm::distance(glm::vec2(x + 0.5f, y + 0.5f), centre) <= halfSize + 2.0f) {
                lit += image.at(x, y).b > 0.0f;
                continue;
            }
            outside += image.at(x, y) != glm::vec3(0.0f);
        }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(lit, 200) << "a disc of radius ~12 px";
}

TEST_F(ParticleSystemTest, DrawMaxBlendsWritesNoDepthAndRestoresState)
{
    SpriteTarget target;
    particles->emitBurst(2.0, burstRate, glm::vec3(0.0f));
    particles->update(0.001);
    const glm::vec3 spark(positions(*particles)[0]);
    target.aim(spark);
    target.clear(0.25f); // grey 64 behind the sprites
    particles->draw(target.view, target.projection);
    const Image image = target.image();

    // Max blending never darkens: every pixel is at least the grey behind it,
    // and away from the sparks exactly the grey. Tolerance 0 and no failing
    // pixel allowed: the sprite edges fade to black, which max leaves unseen,
    // so any pixel below 64 means the wrong blend.
    int darker = 0;
    for (unsigned char c : image.rgb)
        darker += c < 64;
    EXPECT_EQ(darker, 0);
    Image grey = image;
    std::fill(grey.rgb.begin(), grey.rgb.end(), 64);
    const ImageDifference far = compareImages(image, grey, 0, 0, 0, 40, 40);
    EXPECT_EQ(far.largest, 0);
    EXPECT_EQ(far.failingShare, 0.0);
    const glm::vec3 core = image.at(128, 128);
    EXPECT_GT(core.r, 200.0f);
    EXPECT_GT(core.r, core.b) << "burst sparks are warm";

    GLfloat depth = 0.0f;
    glReadPixels(128, 128, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(depth, 1.0f) << "sprites write no depth";
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_TRUE(mask);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint equation = 0;
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &equation);
    EXPECT_EQ(equation, GL_MAX);

    // Depth testing stays on: behind a nearer surface nothing shows.
    glClearDepth(0.0);
    target.clear(0.0f);
    glClearDepth(1.0);
    particles->draw(target.view, target.projection);
    EXPECT_EQ(target.image().at(128, 128), glm::vec3(0.0f));
}

TEST_F(ParticleSystemTest, GlowFadesWithAge)
{
    SpriteTarget target;
    auto brightnessNow = [&] {
        const glm::vec3 drop(positions(*particles)[0]);
        target.aim(drop);
        target.clear(0.0f);
        particles->draw(target.view, target.projection);
        const Image image = target.image();
        return image.mean(118, 118, 138, 138).b;
    };
    particles->emitFountain(0.04, fountainRate, glm::vec3(0.0f));
    particles->update(0.001);
    const float young = brightnessNow();
    age(*particles, 3.0);
    ASSERT_EQ(particles->getCount(), 1u);
    const float old = brightnessNow();
    EXPECT_GT(young, 30.0f);
    EXPECT_LT(old, 0.6f * young) << "near the end of its life a drop has faded";
}

TEST_F(ParticleSystemTest, HundredsOfViewerFramesReportNoErrorsAndNeverFillUp)
{
    SpriteTarget target;
    target.view = glm::lookAt(glm::vec3(0, 12, -35), glm::vec3(0, 12, 3), glm::vec3(0, 1, 0));
    testing::internal::CaptureStdout();
    ParticleSystem system;
    system.setScale(0.2f);
    std::uint64_t most = 0;
    for (int frame = 0; frame < 400; ++frame) {
        const double dt = frame == 0 ? 2.5 : 1.0 / 60.0; // the first frame includes start-up
        target.clear(0.0f);
        glDisable(GL_CULL_FACE);
        system.emitFountain(dt, fountainRate, glm::vec3(-6, 1, 2));
        system.emitBurst(dt, burstRate, glm::vec3(5, 25, 5));
        system.update(dt);
        system.draw(target.view, target.projection);
        glEnable(GL_CULL_FACE);
        if (frame > 60)
            most = std::max(most, system.getCount());
    }
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.find("OpenGL Error"), std::string::npos) << output;
    // About 90 drops and one burst of 64 alive at a time: the fountain never
    // starves for room.
    EXPECT_GT(most, 64u + 60u);
    EXPECT_LT(most, 256u);
}
