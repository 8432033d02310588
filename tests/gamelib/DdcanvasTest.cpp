#include "gamelib/Ddcanvas.h"

#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"

#include "ErrorOf.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(Ddcanvas, TheDrawingContextIsHeldOnlyWhileUsed) {
    EXPECT_EQ(ErrorOf([] { TDDCanvas(nullptr); }), "Cannot create canvas for NIL surface");
    TEngineState engine;
    engine.OpenHeadless(32);
    const PDirectDrawSurface surface = MakeSurface(*DirectDrawObject, 8, 8);
    {
        TDDCanvas canvas(surface);
        EXPECT_FALSE(surface->Locked());
        canvas->Painter().fillRect(0, 0, 2, 2, Qt::white);
        EXPECT_TRUE(surface->Locked());
        canvas.Release();
        EXPECT_FALSE(surface->Locked());
        canvas->TextOut(0, 0, "x");
    }
    EXPECT_FALSE(surface->Locked());
    surface->MarkLost();
    TDDCanvas lost(surface);
    EXPECT_THROW(lost.Canvas(), EDirectXSurfaceLostError);
}
