#pragma once
// The game window. For now it shows the loader, draws the background each frame and leaves
// through Back on Escape; the game states build on this.
#include "gamelib/frmDDFullScreen.h"

#include <string>

class TDDFullScreenForm1 : public TDDFullScreenForm {
  public:
    explicit TDDFullScreenForm1(QWidget* owner = nullptr);

    void InitDDraw() override;
    void ThreadNotify(int32_t frames) override;

  protected:
    void FormShow() override;

  private:
    void Frame(int32_t frames);
    std::string FStage;
    bool FEscapeDown = false;
};

extern TDDFullScreenForm1* DDFullScreenForm1;
