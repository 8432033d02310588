#include "server/ScoreStore.h"

#include "server/Text.h"

#include <algorithm>
#include <map>
#include <sys/random.h>
#include <utility>

namespace {

// Monday 1 .. Sunday 7.
int IsoWeekday(int tmWeekday) {
    return (tmWeekday + 6) % 7 + 1;
}

int WeeksInIsoYear(int year) {
    const auto p = [](int y) { return (y + y / 4 - y / 100 + y / 400) % 7; };
    return (p(year) == 4 || p(year - 1) == 3) ? 53 : 52;
}

// The rank buckets: a score, shifted to 0 .. 2^32 - 1, falls into one bucket per level; a
// bucket of level L holds the scores that agree in their first 4 * L bits.
constexpr int RankLevels = 8;
constexpr int RankDigitBits = 4;
constexpr int64_t RankDigits = int64_t(1) << RankDigitBits;

int64_t RankBucket(int64_t score, int level) {
    const int64_t key = score + (int64_t(1) << 31);
    return key >> (32 - RankDigitBits * level);
}

// Entries better than a score: per level, the later buckets under the same parent; then the
// equal scores reached earlier. Parameters: ?1 the list, ?2/?3 the open lower and closed upper
// bucket bound of level 1, ?4/?5 of level 2, ..., the score, its publication. withTop adds
// the list's best score as a second column.
std::string RankQuery(bool withTop) {
    std::string sql = "SELECT ";
    for (int level = 1; level <= RankLevels; ++level)
        sql += "(SELECT coalesce(sum(n), 0) FROM rank_counts WHERE list = ?1 AND level = " +
               std::to_string(level) + " AND bucket > ?" + std::to_string(2 * level) +
               " AND bucket <= ?" + std::to_string(2 * level + 1) + ") + ";
    const int score = 2 * RankLevels + 2;
    sql += "(SELECT count(*) FROM bests WHERE list = ?1 AND score = ?" + std::to_string(score) +
           " AND score_id < ?" + std::to_string(score + 1) + ")";
    if (withTop)
        sql += ", (SELECT score FROM bests WHERE list = ?1"
               " ORDER BY score DESC, score_id ASC LIMIT 1)";
    return sql;
}

// Adds n to rows counts: ?1 the list, then level, bucket and n of each row.
std::string CountsUpsert(size_t rows) {
    std::string sql = "INSERT INTO rank_counts (list, level, bucket, n) VALUES ";
    for (size_t row = 0; row < rows; ++row) {
        const size_t first = 2 + 3 * row;
        sql += (row ? ", (?1, ?" : "(?1, ?") + std::to_string(first) + ", ?" +
               std::to_string(first + 1) + ", ?" + std::to_string(first + 2) + ")";
    }
    return sql + " ON CONFLICT (list, level, bucket) DO UPDATE SET n = rank_counts.n + excluded.n";
}

// The largest LIMIT both databases take for "all rows".
constexpr int64_t AllRows = int64_t(1) << 62;

// One column per field of the record, beside its digits, so that operators can query them.
std::string GameRecordTable() {
    std::string sql = "CREATE TABLE IF NOT EXISTS game_records ("
                      "  score_id BIGINT PRIMARY KEY REFERENCES scores(id),"
                      "  digits TEXT NOT NULL";
    for (const TGameRecordField& field : GameRecordLayout)
        sql += ", " + std::string(field.Name) + " BIGINT NOT NULL";
    return sql + ");";
}

std::string GameRecordInsert() {
    std::string names = "score_id, digits", values = "?1, ?2";
    int index = 2;
    for (const TGameRecordField& field : GameRecordLayout) {
        names += ", " + std::string(field.Name);
        values += ", ?" + std::to_string(++index);
    }
    return "INSERT INTO game_records (" + names + ") VALUES (" + values + ")";
}

} // namespace

TRecordVerdict CheckGameRecord(const TPublishRecord& record) {
    if (Trim(record.GameRecord).empty()) return TRecordVerdict::Unverified;
    const std::optional<std::string> digits = RevealGameRecord(record.GameRecord);
    const std::optional<TGameRecord> game =
        digits ? ParseGameRecordDigits(*digits) : std::optional<TGameRecord>();
    if (!game) return TRecordVerdict::NotARecord;
    if (record.Score > GameRecordScoreBound(*game)) return TRecordVerdict::ScoreTooHigh;
    return TRecordVerdict::Verified;
}

std::string IsoWeekKey(const std::tm& date) {
    int year = date.tm_year + 1900;
    const int dayOfYear = date.tm_yday + 1;
    int week = (dayOfYear - IsoWeekday(date.tm_wday) + 10) / 7;
    if (week < 1) {
        --year;
        week = WeeksInIsoYear(year);
    } else if (week > WeeksInIsoYear(year)) {
        ++year;
        week = 1;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04d-W%02d", year, week);
    return text;
}

std::string IsoWeekKey(TServerClock::time_point when) {
    const std::time_t seconds = TServerClock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    return IsoWeekKey(local);
}

TScoreStore::TScoreStore(const std::string& database) : FDb(OpenDatabase(database)) {
    TTransaction transaction(*FDb);
    FDb->Execute("CREATE TABLE IF NOT EXISTS players ("
                 "  id TEXT PRIMARY KEY, created BIGINT NOT NULL) {keyed};"
                 "CREATE TABLE IF NOT EXISTS scores ("
                 "  id {serial},"
                 "  player TEXT NOT NULL REFERENCES players(id),"
                 "  score BIGINT NOT NULL, name TEXT NOT NULL, residence TEXT NOT NULL,"
                 "  country TEXT NOT NULL, email TEXT NOT NULL, age BIGINT NOT NULL,"
                 "  sex TEXT NOT NULL, comment TEXT NOT NULL, games_started BIGINT NOT NULL,"
                 "  games_won BIGINT NOT NULL, game_record TEXT NOT NULL,"
                 "  submitted BIGINT NOT NULL, week TEXT NOT NULL);"
                 // Ranks and lists no longer read the publications; these only slowed inserts.
                 "DROP INDEX IF EXISTS scores_player;"
                 "DROP INDEX IF EXISTS scores_week;");
    FDb->Execute(GameRecordTable());
    // The list "" is the all-time list, the others are weeks ("2024-W10"). A player's entries
    // lie side by side, so that a publication changes one place of the table.
    FDb->Execute("CREATE TABLE IF NOT EXISTS bests ("
                 "  list TEXT NOT NULL, player TEXT NOT NULL, score BIGINT NOT NULL,"
                 "  score_id BIGINT NOT NULL, PRIMARY KEY (player, list)) {keyed};"
                 "CREATE INDEX IF NOT EXISTS bests_rank ON bests (list, score DESC, score_id);"
                 "CREATE TABLE IF NOT EXISTS rank_counts ("
                 "  list TEXT NOT NULL, level BIGINT NOT NULL, bucket BIGINT NOT NULL,"
                 "  n BIGINT NOT NULL, PRIMARY KEY (list, level, bucket)) {keyed};");
    RebuildRanks();
    transaction.Commit();
    FVersion = NewestPublication();
}

void TScoreStore::RebuildRanks() {
    if (FDb->Prepare("SELECT 1 FROM bests LIMIT 1").Step()) return;
    std::map<std::pair<std::string, std::string>, TBest> bests;
    {
        TQuery scores = FDb->Prepare("SELECT id, player, score, week FROM scores ORDER BY id");
        while (scores.Step()) {
            const TBest entry{scores.Int(2), scores.Int(0)};
            for (const std::string& list : {std::string(), scores.Text(3)}) {
                const auto [at, added] = bests.try_emplace({list, scores.Text(1)}, entry);
                if (!added && entry.Score > at->second.Score) at->second = entry;
            }
        }
    }
    std::map<std::tuple<std::string, int, int64_t>, int64_t> counts;
    for (const auto& [key, best] : bests) {
        FDb->Prepare("INSERT INTO bests (list, player, score, score_id) VALUES (?1, ?2, ?3, ?4)")
            .Bind(1, key.first)
            .Bind(2, key.second)
            .Bind(3, best.Score)
            .Bind(4, best.ScoreId)
            .Run();
        for (int level = 1; level <= RankLevels; ++level)
            ++counts[{key.first, level, RankBucket(best.Score, level)}];
    }
    for (const auto& [key, n] : counts)
        FDb->Prepare(CountsUpsert(1))
            .Bind(1, std::get<0>(key))
            .Bind(2, int64_t(std::get<1>(key)))
            .Bind(3, std::get<2>(key))
            .Bind(4, n)
            .Run();
}

int64_t TScoreStore::NewestPublication() {
    TQuery query = FDb->Prepare("SELECT coalesce(max(id), 0) FROM scores");
    return query.Step() ? query.Int(0) : 0;
}

bool TScoreStore::KnownPlayer(const std::string& id) {
    if (id.empty()) return false;
    return FDb->Prepare("SELECT 1 FROM players WHERE id = ?1").Bind(1, id).Step();
}

namespace {

std::string NewPlayerID() {
    static constexpr char Hex[] = "0123456789abcdef";
    unsigned char bytes[16];
    for (size_t got = 0; got < sizeof bytes;) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
    }
    std::string id;
    for (unsigned char byte : bytes) {
        id += Hex[byte >> 4];
        id += Hex[byte & 15];
    }
    return id;
}

} // namespace

std::optional<TScoreStore::TBest> TScoreStore::Best(const std::string& list,
                                                    const std::string& player) {
    TQuery query =
        FDb->Prepare("SELECT score, score_id FROM bests WHERE list = ?1 AND player = ?2");
    query.Bind(1, list).Bind(2, player);
    if (!query.Step()) return std::nullopt;
    return TBest{query.Int(0), query.Int(1)};
}

int TScoreStore::Rank(const std::string& list, const TBest& best, std::optional<int32_t>* top) {
    static const std::string plain = RankQuery(false), withTop = RankQuery(true);
    TQuery query = FDb->Prepare(top ? withTop : plain);
    query.Bind(1, list);
    for (int level = 1; level <= RankLevels; ++level) {
        const int64_t bucket = RankBucket(best.Score, level);
        query.Bind(2 * level, bucket).Bind(2 * level + 1, bucket | (RankDigits - 1));
    }
    query.Bind(2 * RankLevels + 2, best.Score).Bind(2 * RankLevels + 3, best.ScoreId);
    if (!query.Step()) throw EDatabaseError("rank: no answer");
    if (top) *top = static_cast<int32_t>(query.Int(1));
    return static_cast<int>(query.Int(0)) + 1;
}

void TScoreStore::Improve(const std::string& list, const std::string& player,
                          const std::optional<TBest>& old, const TBest& now) {
    FDb->Prepare(old ? "UPDATE bests SET score = ?3, score_id = ?4 WHERE list = ?1 AND player = ?2"
                     : "INSERT INTO bests (list, player, score, score_id) VALUES (?1, ?2, ?3, ?4)")
        .Bind(1, list)
        .Bind(2, player)
        .Bind(3, now.Score)
        .Bind(4, now.ScoreId)
        .Run();

    // The buckets the two scores share (the upper levels, mostly) keep their counts.
    std::vector<std::tuple<int64_t, int64_t, int64_t>> changes; // level, bucket, n
    for (int level = 1; level <= RankLevels; ++level) {
        const int64_t bucket = RankBucket(now.Score, level);
        if (old && RankBucket(old->Score, level) == bucket) continue;
        if (old) changes.emplace_back(level, RankBucket(old->Score, level), -1);
        changes.emplace_back(level, bucket, 1);
    }
    if (changes.empty()) return;
    // The texts are made once: a publication needs one of them per list.
    static const std::vector<std::string> upserts = [] {
        std::vector<std::string> texts;
        for (size_t rows = 0; rows <= 2 * RankLevels; ++rows)
            texts.push_back(CountsUpsert(rows));
        return texts;
    }();
    TQuery upsert = FDb->Prepare(upserts.at(changes.size()));
    upsert.Bind(1, list);
    int index = 2;
    for (const auto& [level, bucket, n] : changes) {
        upsert.Bind(index, level).Bind(index + 1, bucket).Bind(index + 2, n);
        index += 3;
    }
    upsert.Run();
}

std::vector<TListEntry> TScoreStore::List(const std::string& list, size_t limit) {
    // Each player's best publication (the earliest one among equal scores), best first.
    TQuery query = FDb->Prepare(
        "SELECT s.player, s.score, s.name, s.residence, s.country, s.age, s.sex, s.submitted,"
        " g.digits "
        "FROM bests b JOIN scores s ON s.id = b.score_id"
        " LEFT JOIN game_records g ON g.score_id = b.score_id "
        "WHERE b.list = ?1 ORDER BY b.score DESC, b.score_id ASC LIMIT ?2");
    query.Bind(1, list).Bind(2, limit == 0 ? AllRows : static_cast<int64_t>(limit));
    std::vector<TListEntry> entries;
    while (query.Step()) {
        TListEntry entry;
        entry.Rank = static_cast<int>(entries.size()) + 1;
        entry.PlayerID = query.Text(0);
        entry.Score = static_cast<int32_t>(query.Int(1));
        entry.Name = query.Text(2);
        entry.Residence = query.Text(3);
        entry.Country = query.Text(4);
        entry.Age = static_cast<int>(query.Int(5));
        const std::string sex = query.Text(6);
        entry.Sex = sex.empty() ? ' ' : sex[0];
        entry.Time = query.Int(7);
        if (!query.IsNull(8)) entry.Record = ParseGameRecordDigits(query.Text(8));
        entries.push_back(std::move(entry));
    }
    return entries;
}

TPublishReply TScoreStore::Submit(const TPublishRecord& record, TServerClock::time_point now) {
    TPublication mine{record, now, {}, {}};
    Submit(std::span(&mine, 1));
    if (mine.Error) std::rethrow_exception(mine.Error);
    return mine.Reply;
}

void TScoreStore::Submit(std::span<TPublication> group) {
    if (group.empty()) return;
    std::unique_lock queue(FQueueLock);
    for (TPublication& publication : group)
        FQueue.push_back(&publication);
    // The group goes into the queue at once, so that one writer takes all of it.
    const uint64_t mine = FWritten + 1 + (FWriting ? 1 : 0);
    while (FWritten < mine) {
        if (FWriting) {
            FQueueChanged.wait(queue);
            continue;
        }
        // Whoever finds nobody writing writes everything that waits, in one transaction.
        FWriting = true;
        std::vector<TPublication*> batch;
        batch.swap(FQueue);
        queue.unlock();
        WriteBatch(batch);
        queue.lock();
        FWriting = false;
        ++FWritten;
        FQueueChanged.notify_all();
    }
}

void TScoreStore::WriteBatch(const std::vector<TPublication*>& batch) {
    const std::lock_guard guard(FLock);
    int64_t newest = 0;
    if (batch.size() > 1) {
        try {
            TTransaction transaction(*FDb);
            for (TPublication* pending : batch)
                pending->Reply = Publish(pending->Record, pending->Now, newest);
            transaction.Commit();
            if (newest > FVersion) FVersion = newest;
            return;
        } catch (const std::exception&) {
            // One of them failed: each is tried alone, so that only that one fails. The
            // numbers of the rolled-back group are handed out again.
            newest = 0;
        }
    }
    for (TPublication* pending : batch) {
        try {
            TTransaction transaction(*FDb);
            pending->Reply = Publish(pending->Record, pending->Now, newest);
            transaction.Commit();
        } catch (const std::exception&) {
            pending->Error = std::current_exception();
        }
    }
    if (newest > FVersion) FVersion = newest;
}

TPublishReply TScoreStore::Publish(const TPublishRecord& record, TServerClock::time_point now,
                                   int64_t& newest) {
    const std::string lists[2] = {std::string(), IsoWeekKey(now)};
    const int64_t seconds = TServerClock::to_time_t(now);

    std::string player = record.PublishID;
    const bool known = KnownPlayer(player);
    if (!known) {
        player = NewPlayerID();
        FDb->Prepare("INSERT INTO players (id, created) VALUES (?1, ?2)")
            .Bind(1, player)
            .Bind(2, seconds)
            .Run();
    }

    TPublishReply reply;
    reply.ID = player;
    std::optional<TBest> old[2];
    for (int i = 0; i < 2; ++i) {
        if (known) old[i] = Best(lists[i], player);
        if (old[i]) (i == 0 ? reply.Alterrang : reply.wAlterrang) = Rank(lists[i], *old[i]);
    }

    TQuery insert = FDb->Prepare(
        "INSERT INTO scores (player, score, name, residence, country, email, age, sex,"
        " comment, games_started, games_won, game_record, submitted, week)"
        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14) RETURNING id");
    insert.Bind(1, player)
        .Bind(2, int64_t(record.Score))
        .Bind(3, AnsiToUtf8(record.PublishName))
        .Bind(4, AnsiToUtf8(record.Residence))
        .Bind(5, AnsiToUtf8(record.Country))
        .Bind(6, AnsiToUtf8(record.Email))
        .Bind(7, int64_t(record.Age))
        .Bind(8, record.Sex == ' ' ? std::string() : std::string(1, record.Sex))
        .Bind(9, AnsiToUtf8(record.Comment))
        .Bind(10, int64_t(record.GamesStarted))
        .Bind(11, int64_t(record.GamesWon))
        .Bind(12, AnsiToUtf8(record.GameRecord))
        .Bind(13, seconds)
        .Bind(14, lists[1]);
    if (!insert.Step()) throw EDatabaseError("insert: no number for the publication");
    const TBest published{record.Score, insert.Int(0)};
    insert.Run();

    if (CheckGameRecord(record) == TRecordVerdict::Verified) {
        const std::string digits = *RevealGameRecord(record.GameRecord);
        const TGameRecord game = *ParseGameRecordDigits(digits);
        static const std::string insertText = GameRecordInsert();
        TQuery gameInsert = FDb->Prepare(insertText);
        gameInsert.Bind(1, published.ScoreId).Bind(2, digits);
        int index = 2;
        for (const TGameRecordField& field : GameRecordLayout)
            gameInsert.Bind(++index, int64_t(game.*field.Value));
        gameInsert.Run();
    }

    for (int i = 0; i < 2; ++i) {
        const bool better = !old[i] || published.Score > old[i]->Score;
        if (better) Improve(lists[i], player, old[i], published);
        (i == 0 ? reply.Rang : reply.wRang) =
            Rank(lists[i], better ? published : *old[i], i == 0 ? &reply.Platz1 : &reply.wPlatz1);
    }
    newest = std::max(newest, published.ScoreId);
    return reply;
}

std::vector<TListEntry> TScoreStore::AllTime(size_t limit) {
    const std::lock_guard guard(FLock);
    return List("", limit);
}

std::vector<TListEntry> TScoreStore::Week(TServerClock::time_point now, size_t limit) {
    const std::lock_guard guard(FLock);
    return List(IsoWeekKey(now), limit);
}

int64_t TScoreStore::PublicationCount() {
    const std::lock_guard guard(FLock);
    TQuery query = FDb->Prepare("SELECT count(*) FROM scores");
    return query.Step() ? query.Int(0) : 0;
}

bool TScoreStore::Ping() {
    const std::lock_guard guard(FLock);
    return FDb->Ping();
}

int64_t TScoreStore::ListsVersion() {
    if (!FDb->Shared()) return FVersion;
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (now - FVersionCheckedAt < ListsVersionAge.count()) return FVersion;
    // A page request never waits for a publication in progress; the next one asks again.
    const std::unique_lock guard(FLock, std::try_to_lock);
    if (!guard.owns_lock()) return FVersion;
    FVersionCheckedAt = now;
    try {
        const int64_t newest = NewestPublication();
        if (newest > FVersion) FVersion = newest;
    } catch (const EDatabaseError&) {
        // The lists cannot have changed for this process's pages if nobody can read them.
    }
    return FVersion;
}
