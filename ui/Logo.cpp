#include "ui/Logo.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace kestrino {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// libjpeg's default error handler ends the process; ours returns to the caller.
void OnJpegError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(err->jump, 1);
}

void SilentMessage(j_common_ptr) {}

// No C++ object with a destructor lives in this frame: longjmp may leave it.
using Allocate = std::uint8_t* (*)(void* context, std::size_t bytes);

bool DecodeInto(const std::uint8_t* data, std::size_t size, Allocate allocate, void* context, int& width, int& height) {
    jpeg_decompress_struct info;
    ErrorManager err;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    err.pub.output_message = SilentMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
    std::uint8_t* pixels = nullptr;
    // The logo is small; a picture larger than this is not ours.
    if (info.output_components == 3 && info.output_width <= 4096 && info.output_height <= 4096)
        pixels = allocate(context, stride * info.output_height);
    if (!pixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, DecodedImage& out) {
    std::vector<std::uint8_t> pixels;
    const Allocate allocate = [](void* context, std::size_t bytes) -> std::uint8_t* {
        try {
            auto& buffer = *static_cast<std::vector<std::uint8_t>*>(context);
            buffer.resize(bytes);
            return buffer.data();
        } catch (...) {
            return nullptr;
        }
    };
    int width = 0;
    int height = 0;
    if (!DecodeInto(data, size, allocate, &pixels, width, height)) return false;
    out.width = width;
    out.height = height;
    out.rgb = std::move(pixels);
    return true;
}

HBITMAP LoadLogoBitmap(int& width, int& height) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC res = FindResourceW(module, L"LOGO", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!res) return nullptr;
    const HGLOBAL loaded = LoadResource(module, res);
    const auto* data = static_cast<const std::uint8_t*>(LockResource(loaded));
    if (!data) return nullptr;
    DecodedImage image;
    if (!DecodeJpeg(data, SizeofResource(module, res), image)) return nullptr;

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = image.width;
    bi.bmiHeader.biHeight = -image.height;  // top-down, as libjpeg delivers
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp) return nullptr;
    const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) & ~std::size_t{3};
    auto* dst = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) * 3;
        std::uint8_t* row = dst + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < image.width; ++x) {
            row[x * 3 + 0] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3 + 0];
        }
    }
    width = image.width;
    height = image.height;
    return bmp;
}

}  // namespace kestrino
