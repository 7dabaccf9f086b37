#version 430 core
// The framebuffer has a depth attachment only: the fixed-function depth
// write is all this pass produces.

void main()
{
}
