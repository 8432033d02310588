#include "JpegWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace assetgen {

namespace {

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

struct TCompressDestroyer {
    void operator()(jpeg_compress_struct* info) const { jpeg_destroy_compress(info); }
};
using TCompress = std::unique_ptr<jpeg_compress_struct, TCompressDestroyer>;

// libjpeg is C and cannot be unwound by an exception; a build tool may simply stop.
[[noreturn]] void JpegErrorExit(j_common_ptr info) {
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    std::fprintf(stderr, "assetgen: JPEG error: %s\n", message);
    std::exit(EXIT_FAILURE);
}

std::uint8_t OverWhite(std::uint32_t premultiplied, std::uint32_t alpha) {
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, premultiplied + 255 - alpha));
}

} // namespace

void WriteJpeg(cairo_surface_t* surface, const std::filesystem::path& path, int quality) {
    cairo_surface_flush(surface);
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
        throw std::runtime_error("only ARGB32 pictures can be written as JPEG");
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const std::uint8_t* pixels = cairo_image_surface_get_data(surface);

    std::filesystem::path partial = path;
    partial += ".part";
    TFile file(std::fopen(partial.c_str(), "wb"));
    if (!file) throw std::runtime_error("cannot create " + partial.string());

    jpeg_error_mgr errors{};
    jpeg_compress_struct info{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = JpegErrorExit;
    jpeg_create_compress(&info);
    TCompress owner(&info);
    jpeg_stdio_dest(&info, file.get());
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;
    // Full-resolution colour keeps red and green lettering crisp.
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);

    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        const auto* source = reinterpret_cast<const std::uint32_t*>(
            pixels + static_cast<std::ptrdiff_t>(info.next_scanline) * stride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = source[x];
            const std::uint32_t alpha = pixel >> 24;
            row[x * 3 + 0] = OverWhite((pixel >> 16) & 0xFF, alpha);
            row[x * 3 + 1] = OverWhite((pixel >> 8) & 0xFF, alpha);
            row[x * 3 + 2] = OverWhite(pixel & 0xFF, alpha);
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&info, &rowPointer, 1);
    }
    jpeg_finish_compress(&info);
    owner.reset();

    const bool written = std::fflush(file.get()) == 0 && !std::ferror(file.get());
    if (std::fclose(file.release()) != 0 || !written)
        throw std::runtime_error("cannot write " + partial.string());
    std::filesystem::rename(partial, path);
}

} // namespace assetgen
