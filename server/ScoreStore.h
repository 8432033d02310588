#pragma once
// The online highscore lists: every publication is kept; each player identity has one entry
// per list, its best score, ranked best first (an equal score ranks behind the one that was
// reached earlier). The weekly list takes only publications of the current ISO week.
#include "online/GameRecord.h"
#include "online/PublishRecord.h"
#include "server/Database.h"

#include <chrono>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using TServerClock = std::chrono::system_clock;

// One line of a list. Texts are UTF-8, as the player sent them: escape before showing.
struct TListEntry {
    int Rank = 0;
    std::string PlayerID;
    int32_t Score = 0;
    std::string Name;
    std::string Residence;
    std::string Country;
    int Age = 0; // 0: not given
    char Sex = ' ';
    int64_t Time = 0; // seconds since 1970 of the publication that reached the score
    // The game record of that publication; nothing when it came without one (unverified).
    std::optional<TGameRecord> Record;
};

// How the game record of a publication stands to its score.
enum class TRecordVerdict {
    Unverified,   // no record: a settings file from before records existed
    Verified,     // the record is a valid disguise and allows the score
    NotARecord,   // something is there, but no disguised record
    ScoreTooHigh, // the caught pieces, waves and pauses cannot add up to the score
};
TRecordVerdict CheckGameRecord(const TPublishRecord& record);

// "2024-W01": the ISO year and week of a calendar date (Monday starts the week; week 1 holds
// the year's first Thursday).
std::string IsoWeekKey(const std::tm& date);
// The ISO week of a moment, in the server's local time.
std::string IsoWeekKey(TServerClock::time_point when);

class TScoreStore {
  public:
    explicit TScoreStore(const std::string& databaseFile);

    // Stores the publication under its player identity (a new one when the record carries an
    // identity the server never handed out) and answers the ranks afterwards. The fields of its
    // game record are stored when CheckGameRecord verifies it; callers refuse the other
    // verdicts first.
    TPublishReply Submit(const TPublishRecord& record, TServerClock::time_point now);

    // The all-time list, at most limit entries (0: all).
    std::vector<TListEntry> AllTime(size_t limit = 0);
    // The list of the week that contains now.
    std::vector<TListEntry> Week(TServerClock::time_point now, size_t limit = 0);

    int64_t PublicationCount();

  private:
    std::vector<TListEntry> List(const std::string& week, size_t limit);
    std::string NewPlayerID();
    bool KnownPlayer(const std::string& id);

    std::mutex FLock;
    TDatabase FDb;
};
