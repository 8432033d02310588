#pragma once
// The server's HTML pages, in German and in the game's warm orange and red. Every text that
// came from a player passes HtmlEscape here; nothing else builds HTML.
#include "server/ScoreStore.h"

#include <string>
#include <string_view>
#include <vector>

// "KW 5/2024" from a week key "2024-W05".
std::string WeekLabel(std::string_view weekKey);

// The embedded browser's start page, made for a frame of 292 x 171 pixels.
std::string StartPage(const std::vector<TListEntry>& weekTop, const std::vector<std::string>& news,
                      std::string_view weekKey);
std::string HighscorePage(const std::vector<TListEntry>& allTime,
                          const std::vector<TListEntry>& week, std::string_view weekKey);
std::string HelpPage();
std::string BrandPage();
std::string DownloadPage(std::string_view version);
std::string NotFoundPage();
// A page of the known-error solutions; paragraphs are HTML written by us or the operator.
std::string SolutionPage(std::string_view title, const std::vector<std::string>& paragraphs);
