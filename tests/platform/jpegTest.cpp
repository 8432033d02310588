#include "platform/jpeg.h"

#include <gtest/gtest.h>

namespace {

QImage Gradient(int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 128));
    return picture;
}

int MaxDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

} // namespace

// Red grows to the right and green downwards over a middle blue: channels that changed places
// show as large differences.
TEST(Jpeg, RoundTripKeepsThePicture) {
    const QImage original = Gradient(37, 23); // sizes that are not multiples of the blocks
    const std::vector<uint8_t> best = EncodeJpeg(original, 100);
    ASSERT_GT(best.size(), 4u);
    EXPECT_EQ(best[0], 0xFF);
    EXPECT_EQ(best[1], 0xD8);
    const QImage decoded = DecodeJpeg(best.data(), best.size());
    ASSERT_EQ(decoded.format(), QImage::Format_RGB32);
    ASSERT_EQ(decoded.size(), original.size());
    EXPECT_LE(MaxDifference(original, decoded), 8);
    // Every pixel is opaque, as Format_RGB32 requires.
    EXPECT_EQ(qAlpha(decoded.pixel(36, 22)), 255);
    // Lower quality gives fewer bytes.
    EXPECT_LT(EncodeJpeg(Gradient(200, 200), 20).size(),
              EncodeJpeg(Gradient(200, 200), 100).size());
}

TEST(Jpeg, LargePictureNeedsManyOutputChunks) {
    // Fine stripes compress badly, so the output runs over several chunks.
    QImage original(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            original.setPixel(x, y, ((x + y) % 2) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const std::vector<uint8_t> bytes = EncodeJpeg(original, 100);
    EXPECT_GT(bytes.size(), 65536u);
    EXPECT_LE(MaxDifference(original, DecodeJpeg(bytes.data(), bytes.size())), 40);
}

TEST(Jpeg, DamagedDataThrows) {
    EXPECT_THROW(DecodeJpeg(nullptr, 0), EJpegError);
    const uint8_t garbage[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_THROW(DecodeJpeg(garbage, sizeof garbage), EJpegError);
    std::vector<uint8_t> bytes = EncodeJpeg(Gradient(256, 256), 90);
    // Just the start marker and a broken header.
    std::vector<uint8_t> header(bytes.begin(), bytes.begin() + 30);
    EXPECT_THROW(DecodeJpeg(header.data(), header.size()), EJpegError);
    try {
        DecodeJpeg(garbage, sizeof garbage);
    } catch (const EJpegError& e) {
        EXPECT_NE(std::string(e.what()).find("JPEG"), std::string::npos);
    }
    // A truncated body is not fatal: the rest of the picture is filled in.
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2));
    const QImage partial = DecodeJpeg(cut.data(), cut.size());
    EXPECT_EQ(partial.size(), QSize(256, 256));
    EXPECT_THROW(EncodeJpeg(QImage(), 90), EJpegError);
}
