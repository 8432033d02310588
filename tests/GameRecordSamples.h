#pragma once
// One game whose record several tests read: its statistics, as the game would gather them.
#include "online/GameRecord.h"

// 92 seconds, 347 shots, 3 waves, one pause; 55 chip and 16 pepper pieces caught.
inline TGameStatistics KnownGame() {
    TGameStatistics game;
    game.SecondsPlayed = 92;
    game.ShotsFired = 347;
    game.WavesCompleted = 3;
    game.PauseCount = 1;
    game.Started = {0, 40, 2, 12, 3, 1, 1};
    game.Hits = {0, 31, 1, 10, 2, 1, 1};
    game.ChipSpawned0 = 93;
    game.ChipCaught0 = 40;
    game.PepperSpawned0 = 30;
    game.PepperCaught0 = 12;
    game.ChipSpawnedHigher = 120;
    game.ChipCaughtHigher = 15;
    game.PepperSpawnedHigher = 36;
    game.PepperCaughtHigher = 4;
    return game;
}
