#include "online/NewHighscoreUnit.h"

#include "TestSupport.h"
#include "online/OnlineTestSupport.h"
#include "shell/DecodeUnit.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(NewHighscoreUnit, TheOfferShowsTheBestScoreAndAsks) {
    TTempProgramFolder folder;
    Env = DefaultEnvData();
    Env.Highscores[0].Score = 48700;
    TNewHighscoreForm form;
    EXPECT_EQ(form.windowTitle(), "Ein neuer Highscore!");
    EXPECT_EQ(form.Label1->text(), "Gratulation!");
    EXPECT_EQ(form.Label2->text(), "ein neuer Highscore!");
    EXPECT_EQ(form.Label4->text(), "48700 Punkte,");
    EXPECT_EQ(form.Label3->text(), "Möchten Sie Ihren Score in der weltweiten Internet "
                                   "Highscoreliste veröffentlichen?");
    EXPECT_EQ(form.Button1->text(), "Ja");
    EXPECT_EQ(form.Button2->text(), "Nein");
    EXPECT_EQ(form.size(), MenuBackPicture().size());
}

TEST(NewHighscoreUnit, JaIsYesAndNeinOrClosingIsNo) {
    TTempProgramFolder folder;
    const std::pair<std::function<void(TNewHighscoreForm*)>, int> cases[] = {
        {[](TNewHighscoreForm* shown) { shown->Button1->click(); }, mrYes},
        {[](TNewHighscoreForm* shown) { shown->Button2->click(); }, mrNo},
        {[](TNewHighscoreForm* shown) { shown->close(); }, mrNo}};
    for (const auto& [answer, result] : cases) {
        TNewHighscoreForm form;
        WhenModal(answer);
        EXPECT_EQ(form.ShowModal(), result);
    }
}

TEST(NewHighscoreUnit, AMissingPictureGivesAPlainOneOfTheGivenSize) {
    const QImage plain = PictureOrPlain("NO_SUCH_PICTURE", QSize(120, 80), "Titel");
    EXPECT_EQ(plain.size(), QSize(120, 80));
    EXPECT_FALSE(MenuBackPicture().isNull());
}
