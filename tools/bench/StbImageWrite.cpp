// The one translation unit of velmora-bench that compiles stb_image_write.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
