#include "server/Text.h"

#include <gtest/gtest.h>

namespace {

// True when no byte of the text is a C0 control, DEL or the UTF-8 form of a C1 control;
// LF, CR before LF and TAB are allowed where the text has lines.
bool Printable(const std::string& text, bool lines) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (lines && (c == '\n' || c == '\t')) continue;
        if (lines && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c < 0x20 || c == 0x7F) return false;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            return false;
    }
    return true;
}

} // namespace

TEST(Text, PrintableTextReplacesEveryControlCharacter) {
    EXPECT_EQ(PrintableText("a\x1B[31mrot\x1B[0m\r\nb\tc\x7F"), "a?[31mrot?[0m??b?c?");
    // U+009B, the one-byte CSI, is a control as well; U+00A0 and beyond stay.
    EXPECT_EQ(PrintableText("x\xC2\x9B"
                            "2J \xC2\xA0\xC3\xBC"),
              "x?2J \xC2\xA0\xC3\xBC");
    // Broken UTF-8 cannot hide a control behind a stray lead byte.
    EXPECT_EQ(PrintableText("\xC2\x1B"), "??");
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
