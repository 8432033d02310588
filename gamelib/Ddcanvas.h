#pragma once
// A canvas on a surface for one drawing job: the surface's drawing context is fetched when
// the canvas is first used and given back by Release or when the canvas goes away. Meanwhile
// nobody else may lock or copy into the surface.
#include "platform/canvas.h"

#include <memory>
#include <optional>

class TDDCanvas {
  public:
    explicit TDDCanvas(const PDirectDrawSurface& surface);
    ~TDDCanvas() = default;
    TDDCanvas(const TDDCanvas&) = delete;
    TDDCanvas& operator=(const TDDCanvas&) = delete;

    // The drawing context, fetched on first use; a lost surface raises the lost-surface error.
    TCanvas& Canvas();
    TCanvas* operator->() { return &Canvas(); }
    void Release();
    const PDirectDrawSurface& Surface() const { return FSurface; }

  private:
    PDirectDrawSurface FSurface;
    std::optional<TCanvas> FCanvas;
};
