#include "online/KnownErrors.h"

#include "shell/Tools.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> Log = {
    "Program Version 1.05",
    "Loading Sound: treffer",
    "generic error: bad format",
    "Exception raised in Threadnotify while Flip(): surface lost",
    "ERROR",
};

std::optional<std::string> Page(std::string_view line, const std::vector<std::string>& log = Log) {
    const auto found = MatchErrorLine(line, log);
    if (!found) return std::nullopt;
    return found->Page;
}

} // namespace

TEST(KnownErrors, PatternsMustOccurInConsecutiveLinesInOrder) {
    EXPECT_EQ(Page("<zn=2><z1=Loading Sound><z2=generic error:><W=sound.html>"), "sound.html");
    // Swapped, or with a line between them: no match.
    EXPECT_EQ(Page("<zn=2><z1=generic error:><z2=Loading Sound><W=x>"), std::nullopt);
    EXPECT_EQ(Page("<zn=2><z1=Loading Sound><z2=Exception><W=x>"), std::nullopt);
    // Patterns are case-sensitive substrings; tag names are not.
    EXPECT_EQ(Page("<zn=1><z1=loading sound><W=x>"), std::nullopt);
    EXPECT_EQ(Page("<ZN=1><Z1=Flip()><w=Grafik.HTML>"), "Grafik.HTML");
}

TEST(KnownErrors, zlWantsTheLastLinesOfTheLog) {
    EXPECT_EQ(Page("<zn=1><z1=ERROR><zl><W=end.html>"), "end.html");
    EXPECT_EQ(Page("<zn=1><z1=Flip><zl><W=end.html>"), std::nullopt);
    EXPECT_EQ(Page("<zn=2><z1=Flip><z2=ERROR><zl><W=end.html>"), "end.html");
    // A pattern found earlier does not count when zl asks for the end.
    EXPECT_EQ(Page("<zn=1><z1=Version><zl><W=x>"), std::nullopt);
}

TEST(KnownErrors, TheFirstMatchingStartGivesTheResult) {
    const std::vector<std::string> log = {"a", "b", "a", "b"};
    const auto found = MatchErrorLine("<zn=2><z1=a><z2=b><W=p>", log);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Page, "p");
    EXPECT_FALSE(found->KeepLog);
    EXPECT_TRUE(MatchErrorLine("<zn=1><z1=b><S><W=p>", log)->KeepLog);
}

TEST(KnownErrors, CountsOfZeroNegativeOrBeyondTheLogNeverMatch) {
    EXPECT_EQ(Page("<zn=0><W=x>"), std::nullopt);
    EXPECT_EQ(Page("<zn=-1><z1=ERROR><W=x>"), std::nullopt);
    EXPECT_EQ(Page("<zn=6><z1=P><z2=L><z3=g><z4=E><z5=E><z6=E><W=x>"), std::nullopt);
    EXPECT_EQ(Page("<zn=1><z1=ERROR><W=x>", {}), std::nullopt);
    // A missing or empty pattern finds nothing.
    EXPECT_EQ(Page("<zn=2><z1=Loading><W=x>"), std::nullopt);
    EXPECT_EQ(Page("<zn=1><z1=><W=x>"), std::nullopt);
}

TEST(KnownErrors, ALineWithoutANumberIsAConversionError) {
    EXPECT_THROW(MatchErrorLine("<z1=ERROR><W=x>", Log), EConvertError);
    EXPECT_THROW(MatchErrorLine("<zn=eins><z1=ERROR><W=x>", Log), EConvertError);
    EXPECT_THROW(MatchErrorLine("<zn=99999999999><z1=ERROR><W=x>", Log), EConvertError);
    EXPECT_EQ(Page("<zn= 1 ><z1=ERROR><W=x>"), "x");
}

TEST(KnownErrors, ValuesRunToTheNextBracketOrTheEndOfTheLine) {
    EXPECT_EQ(ErrorTagValue("<zn=1><z1=Flip(><W=grafik.html", "W"), "grafik.html");
    EXPECT_EQ(ErrorTagValue("<zn=1><z1=Flip(>", "z1"), "Flip(");
    EXPECT_EQ(ErrorTagValue("<zl>", "zl"), "");
    EXPECT_EQ(ErrorTagValue("<zl", "zl"), std::nullopt); // a tag without ">" is no tag
    EXPECT_EQ(ErrorTagValue("text <<S> more", "S"), "");
    // A tag inside a value is part of the value.
    EXPECT_EQ(ErrorTagValue("<z1=a<S><W=x>", "S"), std::nullopt);
    EXPECT_EQ(Page("<zn=1><z1=Flip(><W=grafik.html"), "grafik.html");
}

TEST(KnownErrors, TheLookUpTakesTheFirstLineWithAPageName) {
    const std::string errors = "\r\n"
                               "<zn=1><z1=nothing like this><W=no.html>\r\n"
                               "<zn=1><z1=Flip><W=>\r\n" // matches, but names no page
                               "<zn=2><z1=Loading Sound><z2=generic error:><S><W=sound.html>\n"
                               "<zn=1><z1=Exception raised><W=absturz.html>\n"
                               "no number here\n";
    const auto found = MatchKnownError(errors, Log);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Page, "sound.html");
    EXPECT_TRUE(found->KeepLog);
    // A line without a number stops the look-up only when it is reached.
    EXPECT_THROW(MatchKnownError("no number\n<zn=1><z1=ERROR><W=x>", Log), EConvertError);
    EXPECT_EQ(MatchKnownError("", Log), std::nullopt);
    // An empty log matches nothing, yet the line without a number is still reached.
    EXPECT_EQ(MatchKnownError(errors.substr(0, errors.find("no number")), {}), std::nullopt);
    EXPECT_THROW(MatchKnownError(errors, {}), EConvertError);
}

TEST(KnownErrors, LinesSplitAtEveryKindOfLineEnd) {
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitTextLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitTextLines("").empty());
}
