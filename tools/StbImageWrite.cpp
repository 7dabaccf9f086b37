// The one translation unit that compiles stb_image_write's implementation,
// for the asset generator, the benchmark and the test helpers alike.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
