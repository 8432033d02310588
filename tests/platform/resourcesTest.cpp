#include "platform/resources.h"

#include "platform/jpeg.h"

#include <algorithm>
#include <gtest/gtest.h>

TEST(Resources, CompiledInPicturesByTypeAndName) {
    const std::vector<std::string> names = ResourceNames("jpeg");
    for (const char* name : {"LOADERPIC", "MENUE", "MENUE_NET"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    QByteArray data;
    // Names and types are looked up upper-cased.
    ASSERT_TRUE(FindResource("jpeg", "LoaderPic", &data));
    EXPECT_FALSE(DecodeJpeg(data).isNull());
    EXPECT_TRUE(ResourceExists("JPEG", "menue_net"));
    EXPECT_EQ(ResourcePath("jpeg", "Menue"), ":/JPEG/MENUE");
}

TEST(Resources, MissingOnesAreNotFound) {
    QByteArray data("untouched");
    EXPECT_FALSE(FindResource("JPEG", "NOSUCHPICTURE", &data));
    EXPECT_EQ(data, QByteArray("untouched"));
    EXPECT_FALSE(FindResource("WAVE", "LOADERPIC", &data));
    EXPECT_FALSE(FindResource("JPEG", "", &data));
    EXPECT_FALSE(ResourceExists("PNG", "MENUE"));
    EXPECT_TRUE(ResourceNames("NOSUCHTYPE").empty());
}
