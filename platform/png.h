#pragma once
// PNG pictures through libpng, decoded into the same layout as our bitmaps: palette pictures
// keep their indices, 1-bit pictures stay packed with the leftmost pixel in the most
// significant bit, grey pictures get a grey palette, colour pictures become 24 or 32 bits.
#include "platform/bmp.h"

// Anything libpng refuses, or a picture beyond MaxPictureSide / MaxPicturePixels, gives an
// empty picture.
TBitmapImage DecodePng(const uint8_t* data, size_t size);
TBitmapImage DecodePng(const QByteArray& data);
