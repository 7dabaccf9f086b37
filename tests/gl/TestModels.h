#pragma once

#include "GlContext.h"
#include "ImageProbe.h"
#include "ObjText.h"

#include <GL/glew.h>
#include <glm/glm.hpp>


// The OBJ writers (boxObj, floorObj) come from ObjText.h; this adds what
// needs a GL context.

// An off-screen RGBA8 colour target with a depth buffer, bound on creation.
class RenderTarget {
public:
    explicit RenderTarget(int size) : size(size)
    {
        glGenFramebuffers(1, &fbo);
        glGenTextures(1, &colour);
        glBindTexture(GL_TEXTURE_2D, colour);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size, size);
        bind();
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    }
    bool complete() const { return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE; }
    void bind() const
    {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glViewport(0, 0, size, size);
    }
    void clear() const
    {
        bind();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    Image read() const
    {
        bind();
        return GlContext::readImage(size, size);
    }

private:
    int size;
    GLuint fbo = 0;
    GLuint colour = 0;
    GLuint depth = 0;
};
