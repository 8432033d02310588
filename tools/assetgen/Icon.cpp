#include "Icon.h"

#include "SnackArt.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace assetgen {

void DrawIcon(TCanvas& canvas) {
    cairo_t* cr = canvas.Cr();
    const double s = canvas.Width();
    // A tile with rounded corners and a margin, as the desktop's own icons have.
    const double margin = s * 0.04;
    const double tile = s - 2 * margin;
    auto tilePath = [&](cairo_t* c) { RoundedRectPath(c, margin, margin, tile, tile, tile * 0.2); };
    SoftShadow(cr, tilePath, 0, s * 0.012, std::max(1, static_cast<int>(s * 0.015)),
               Rgb(0x3A0800, 0.5));
    {
        TSaved clipped(cr);
        cairo_new_path(cr);
        tilePath(cr);
        cairo_clip(cr);
        DrawWarmBackdrop(cr, s, s, s * 0.3, s * 0.28);
        DrawSnackBag(cr, s * 0.6, s * 0.62, s * 0.48, s * 0.62);
        DrawPepper(cr, s * 0.77, s * 0.22, s * 0.28, -0.7);
        DrawChip(cr, s * 0.31, s * 0.31, s * 0.19, 0.4, 7);
        DrawCrosshair(cr, s * 0.31, s * 0.31, s * 0.24, Rgb(0xD01010, 0.9));
    }
    cairo_new_path(cr);
    tilePath(cr);
    SetSource(cr, Rgb(0x7A2A06, 0.8));
    cairo_set_line_width(cr, std::max(1.0, s * 0.012));
    cairo_stroke(cr);
}

void WriteIcons(const std::filesystem::path& folder) {
    for (const int size : IconSizes) {
        const std::string dimensions = std::to_string(size) + "x" + std::to_string(size);
        const std::filesystem::path apps = folder / "hicolor" / dimensions / "apps";
        std::filesystem::create_directories(apps);
        TCanvas canvas(size, size);
        DrawIcon(canvas);
        const std::filesystem::path file = apps / "crumble-rush.png";
        const cairo_status_t status = cairo_surface_write_to_png(canvas.Surface(), file.c_str());
        if (status != CAIRO_STATUS_SUCCESS)
            throw std::runtime_error("cannot write " + file.string() + ": " +
                                     cairo_status_to_string(status));
    }
}

} // namespace assetgen
