#include "effects/PostProcFramebuffer.h"

#include "render/Shader.h"

PostProcFramebuffer::PostProcFramebuffer(int w, int h, std::shared_ptr<Shader> s) : width(w), height(h), shader(std::move(s)) {}
void PostProcFramebuffer::bind() {}
void PostProcFramebuffer::bindAndClear() {}
void PostProcFramebuffer::unbind() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }
void PostProcFramebuffer::bindTextures(std::shared_ptr<Shader>, unsigned int, std::string, std::string, std::string) {}
void PostProcFramebuffer::draw() {}
