#include "gamelib/Ddcanvas.h"

#include "gamelib/DDUtil.h"

TDDCanvas::TDDCanvas(const PDirectDrawSurface& surface) : FSurface(surface) {
    if (!FSurface) throw std::runtime_error("Cannot create canvas for NIL surface");
}

TCanvas& TDDCanvas::Canvas() {
    if (!FCanvas) {
        try {
            FCanvas.emplace(FSurface);
        } catch (const ECanvasError& e) {
            DXCheckSurface(e.Code);
            throw;
        }
    }
    return *FCanvas;
}

void TDDCanvas::Release() {
    FCanvas.reset();
}
