// The program's icon for the desktop's menus: the snack bag before the warm sky, a crisp
// in the crosshair and a pepper flying by, drawn anew at each size so small ones stay crisp.
#pragma once

#include "Draw.h"

#include <filesystem>

namespace assetgen {

inline constexpr int IconSizes[] = {48, 64, 128, 256};

void DrawIcon(TCanvas& canvas);

// <folder>/hicolor/<n>x<n>/apps/crumble-rush.png for every size of IconSizes.
void WriteIcons(const std::filesystem::path& folder);

} // namespace assetgen
