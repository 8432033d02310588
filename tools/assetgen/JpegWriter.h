// Writes a finished picture as a baseline JPEG file.
#pragma once

#include <cairo.h>

#include <filesystem>

namespace assetgen {

// The picture is flattened onto white where it is not opaque. The file appears complete or not
// at all, so an interrupted build never leaves a truncated resource behind.
void WriteJpeg(cairo_surface_t* surface, const std::filesystem::path& path, int quality);

} // namespace assetgen
