// Screenshots as PNG files: the rows stored uncompressed inside a valid zlib stream, so the writer
// needs no image or compression library, only a CRC-32 and an Adler-32.
#pragma once

#include <string>

// pixels: width x height RGBA pixels, top row first, no padding. withAlpha false writes RGB and
// drops the fourth byte. False when a size is 0, pixels is null, the image is too large for one
// PNG chunk, or the file (UTF-8 path, replaced if present) cannot be written whole.
bool writePng(const std::string& path, const unsigned char* pixels, unsigned width, unsigned height,
              bool withAlpha);
