#pragma once
// crumble-rush --demo: the game plays itself in its window, game after game, for a stand at a
// fair, until someone presses a key or clicks; then the program ends. The settings file is left
// as the demo found it: the demo's names in the highscore table go when it ends.

// Runs the demo in the program folder; the application object must exist. Returns the exit
// code.
int RunDemo();
