#include "server/Pages.h"

#include "server/Text.h"

#include <gtest/gtest.h>

namespace {

TListEntry Entry(int rank, const std::string& name, int32_t score) {
    TListEntry entry;
    entry.Rank = rank;
    entry.Name = name;
    entry.Score = score;
    return entry;
}

} // namespace

TEST(Text, HtmlEscapeCoversMarkupAndQuotes) {
    EXPECT_EQ(HtmlEscape("<a href=\"x\" title='y'>&amp;</a>"),
              "&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;");
    EXPECT_EQ(HtmlEscape("Knusper 123"), "Knusper 123");
}

TEST(Text, AnsiBecomesUtf8) {
    EXPECT_EQ(AnsiToUtf8("Gr\xFC\xDF"
                         "e \x80"),
              "Gr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC");
    EXPECT_EQ(AnsiToUtf8("\x81"), "?"); // no character in the code page
    EXPECT_EQ(Latin1ToUtf8("\xE4"), "\xC3\xA4");
}

TEST(Text, SanitizeKeepsValidUtf8Only) {
    EXPECT_EQ(SanitizeUtf8("K\xC3\xB6ln \xE2\x82\xAC"), "K\xC3\xB6ln \xE2\x82\xAC");
    EXPECT_EQ(SanitizeUtf8("a\xFF"
                           "b"),
              "a?b");
    EXPECT_EQ(SanitizeUtf8("\xC3"), "?");           // cut short
    EXPECT_EQ(SanitizeUtf8("\xC0\xAF"), "??");      // overlong "/"
    EXPECT_EQ(SanitizeUtf8("\xED\xA0\x80"), "???"); // a surrogate
}

TEST(Pages, WeekLabel) {
    EXPECT_EQ(WeekLabel("2024-W05"), "KW 5/2024");
    EXPECT_EQ(WeekLabel("2020-W53"), "KW 53/2020");
}

TEST(Pages, StartPageFitsFiveAndEscapes) {
    std::vector<TListEntry> week;
    for (int i = 1; i <= 6; ++i)
        week.push_back(Entry(i, "P" + std::to_string(i) + "<b>", 1000 - i));
    const std::string page = StartPage(week, {"Neu & frisch", "<i>zwei</i>", "drei"}, "2024-W10");
    EXPECT_NE(page.find("Top 5 der Woche"), std::string::npos);
    EXPECT_NE(page.find("P5&lt;b&gt;"), std::string::npos);
    EXPECT_EQ(page.find("P6"), std::string::npos);
    EXPECT_EQ(page.find("P1<b>"), std::string::npos);
    EXPECT_NE(page.find("Neu &amp; frisch"), std::string::npos);
    EXPECT_EQ(page.find("drei"), std::string::npos); // two news lines fit the frame
    EXPECT_NE(page.find("width:292px;height:171px"), std::string::npos);
}

TEST(Pages, EmptyListsSaySo) {
    EXPECT_NE(StartPage({}, {}, "2024-W10").find("noch niemand"), std::string::npos);
    const std::string lists = HighscorePage({}, {}, "2024-W10");
    EXPECT_NE(lists.find("Noch hat niemand"), std::string::npos);
    EXPECT_NE(lists.find("KW 10/2024"), std::string::npos);
}

TEST(Pages, HighscoreRowsCarryPublishedFieldsOnlyAndEscaped) {
    TListEntry entry = Entry(1, "Anna", 4711);
    entry.Residence = "Bern";
    entry.Country = "Schweiz";
    entry.Age = 33;
    entry.Sex = 'f';
    TListEntry markup = Entry(1, "<script>x</script>", 900);
    markup.Residence = "\"><img src=x>";
    markup.Country = "A&B";
    const std::string page = HighscorePage({entry}, {markup}, "2024-W10");
    for (const char* text :
         {"Anna", "Bern", "Schweiz", ">33<", ">w<", "4711", "Dauer-Highscore", "Wochenhighscore",
          "&lt;script&gt;x&lt;/script&gt;", "&quot;&gt;&lt;img src=x&gt;", "A&amp;B"})
        EXPECT_NE(page.find(text), std::string::npos) << text;
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
}
