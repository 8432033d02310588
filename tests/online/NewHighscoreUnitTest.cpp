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
    {
        TNewHighscoreForm form;
        WhenModal<TNewHighscoreForm>([](TNewHighscoreForm* shown) { shown->Button1->click(); });
        EXPECT_EQ(form.ShowModal(), mrYes);
    }
    {
        TNewHighscoreForm form;
        WhenModal<TNewHighscoreForm>([](TNewHighscoreForm* shown) { shown->Button2->click(); });
        EXPECT_EQ(form.ShowModal(), mrNo);
    }
    {
        TNewHighscoreForm form;
        WhenModal<TNewHighscoreForm>([](TNewHighscoreForm* shown) { shown->close(); });
        EXPECT_EQ(form.ShowModal(), mrNo);
    }
}

TEST(NewHighscoreUnit, AMissingPictureGivesAPlainOneOfTheGivenSize) {
    const QImage plain = PictureOrPlain("NO_SUCH_PICTURE", QSize(120, 80), "Titel");
    EXPECT_EQ(plain.size(), QSize(120, 80));
    EXPECT_FALSE(MenuBackPicture().isNull());
}
