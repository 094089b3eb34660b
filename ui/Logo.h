#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrino {

struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top-down rows of R, G, B
};

// Decodes a JPEG held in memory; false (and nothing decoded) when the data is
// not a JPEG libjpeg can read.
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, DecodedImage& out);

// The logo carried in the program's resources, as a 24-bit bitmap; null when
// it is missing or cannot be decoded (the window then shows no picture).
HBITMAP LoadLogoBitmap(int& width, int& height);

}  // namespace kestrino
