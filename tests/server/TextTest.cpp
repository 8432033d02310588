#include "server/Text.h"

#include "ServerTestSupport.h"

#include <gtest/gtest.h>

TEST(Text, PrintableTextReplacesEveryControlCharacter) {
    EXPECT_EQ(PrintableText("a\x1B[31mrot\x1B[0m\r\nb\tc\x7F"), "a?[31mrot?[0m??b?c?");
    // U+009B, the one-byte CSI, is a control as well; U+00A0 and beyond (the euro sign too) stay.
    EXPECT_EQ(PrintableText("x\xC2\x9B"
                            "2J \xC2\xA0\xC3\xBC\xE2\x82\xAC"),
              "x?2J \xC2\xA0\xC3\xBC\xE2\x82\xAC");
    // Broken UTF-8 cannot hide a control behind a stray lead byte; a broken byte, the C1 "next
    // line" and a zero byte go as well.
    EXPECT_EQ(PrintableText("\xC2\x1B"), "??");
    EXPECT_EQ(PrintableText(std::string("\xFF\xC2\x85\0", 4)), "???");
    for (int c = 0; c < 256; ++c) {
        const std::string text = "<" + std::string(1, static_cast<char>(c)) + ">";
        EXPECT_TRUE(Printable(PrintableText(text), false)) << c;
    }
}

TEST(Text, PrintableLinesKeepsLineBreaksAndTabsOnly) {
    EXPECT_EQ(PrintableLines("eins\r\nzwei\n\tdrei\rvier\x07"), "eins\r\nzwei\n\tdrei?vier?");
    EXPECT_TRUE(Printable(PrintableLines("\x1B]0;Titel\x07\r\n\x1B"
                                         "c"),
                          true));
}
