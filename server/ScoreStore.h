#pragma once
// The online highscore lists: every publication is kept; each player identity has one entry
// per list, its best score, ranked best first (an equal score ranks behind the one that was
// reached earlier). The weekly list takes only publications of the current ISO week.
//
// Ranks come from counts, never from reading the lists: beside each player's best entry of a
// list (table bests) the store keeps how many entries fall into each bucket of the score
// range, on eight levels of sixteen buckets each (table rank_counts). The entries better than
// a score are the sum of at most fifteen buckets per level, plus the equal scores reached
// earlier; a publication changes at most sixteen counts per list.
#include "online/GameRecord.h"
#include "online/PublishRecord.h"
#include "server/Database.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
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
    // An SQLite file, or a PostgreSQL address shared with other server processes.
    explicit TScoreStore(const std::string& database);

    // Stores the publication under its player identity (a new one when the record carries an
    // identity the server never handed out) and answers the ranks afterwards. The fields of its
    // game record are stored when CheckGameRecord verifies it; callers refuse the other
    // verdicts first. Publications that arrive while another is written are written together
    // in the next transaction, one after the other, each with its own ranks.
    TPublishReply Submit(const TPublishRecord& record, TServerClock::time_point now);

    // One publication of a group; Submit sets Reply, or Error when that one failed.
    struct TPublication {
        TPublishRecord Record;
        TServerClock::time_point Now;
        TPublishReply Reply;
        std::exception_ptr Error;
    };
    // Stores a group of publications in one transaction (with any that wait beside them), in
    // their order; a failing one fails alone.
    void Submit(std::span<TPublication> group);

    // The all-time list, at most limit entries (0: all).
    std::vector<TListEntry> AllTime(size_t limit = 0);
    // The list of the week that contains now.
    std::vector<TListEntry> Week(TServerClock::time_point now, size_t limit = 0);

    int64_t PublicationCount();

    // True when the database answers.
    bool Ping();
    // Grows whenever a list may have changed: the newest publication's number, seen here at
    // once and, on a database shared with other processes, read from it at most every
    // ListsVersionAge. Cheap enough to ask on every page request.
    int64_t ListsVersion();
    static constexpr std::chrono::milliseconds ListsVersionAge{500};

    // Where the lists are kept, for the log.
    std::string Describe() const { return FDb->Describe(); }

  private:
    struct TBest {
        int64_t Score = 0;
        int64_t ScoreId = 0;
    };
    void WriteBatch(const std::vector<TPublication*>& batch);
    // One publication inside the open transaction; newest grows to its number.
    TPublishReply Publish(const TPublishRecord& record, TServerClock::time_point now,
                          int64_t& newest);
    std::vector<TListEntry> List(const std::string& list, size_t limit);
    bool KnownPlayer(const std::string& id);
    std::optional<TBest> Best(const std::string& list, const std::string& player);
    // The entry's rank; with top, also the list's best score (the list holds an entry then).
    int Rank(const std::string& list, const TBest& best, std::optional<int32_t>* top = nullptr);
    // Makes now the player's entry in the list, in place of old.
    void Improve(const std::string& list, const std::string& player,
                 const std::optional<TBest>& old, const TBest& now);
    // Fills bests and rank_counts from the publications of a store made before they existed.
    void RebuildRanks();
    int64_t NewestPublication();

    std::mutex FLock; // the database
    std::unique_ptr<TDatabase> FDb;
    std::mutex FQueueLock; // the publications waiting to be written
    std::condition_variable FQueueChanged;
    std::vector<TPublication*> FQueue;
    bool FWriting = false;
    uint64_t FWritten = 0; // groups taken from the queue and written
    std::atomic<int64_t> FVersion{0};
    std::atomic<int64_t> FVersionCheckedAt{0}; // steady clock, milliseconds
};
