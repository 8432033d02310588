#include "server/ScoreStore.h"

#include "server/Text.h"

#include <algorithm>
#include <random>

namespace {

// Monday 1 .. Sunday 7.
int IsoWeekday(int tmWeekday) {
    return (tmWeekday + 6) % 7 + 1;
}

int WeeksInIsoYear(int year) {
    const auto p = [](int y) { return (y + y / 4 - y / 100 + y / 400) % 7; };
    return (p(year) == 4 || p(year - 1) == 3) ? 53 : 52;
}

std::optional<int> RankOf(const std::vector<TListEntry>& list, const std::string& player) {
    for (const TListEntry& entry : list)
        if (entry.PlayerID == player) return entry.Rank;
    return std::nullopt;
}

std::optional<int32_t> TopScore(const std::vector<TListEntry>& list) {
    if (list.empty()) return std::nullopt;
    return list.front().Score;
}

} // namespace

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

TScoreStore::TScoreStore(const std::string& databaseFile) : FDb(databaseFile) {
    FDb.Execute("PRAGMA journal_mode=WAL;"
                "CREATE TABLE IF NOT EXISTS players ("
                "  id TEXT PRIMARY KEY, created INTEGER NOT NULL);"
                "CREATE TABLE IF NOT EXISTS scores ("
                "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
                "  player TEXT NOT NULL REFERENCES players(id),"
                "  score INTEGER NOT NULL, name TEXT NOT NULL, residence TEXT NOT NULL,"
                "  country TEXT NOT NULL, email TEXT NOT NULL, age INTEGER NOT NULL,"
                "  sex TEXT NOT NULL, comment TEXT NOT NULL, games_started INTEGER NOT NULL,"
                "  games_won INTEGER NOT NULL, game_record TEXT NOT NULL,"
                "  submitted INTEGER NOT NULL, week TEXT NOT NULL);"
                "CREATE INDEX IF NOT EXISTS scores_player ON scores(player, score DESC, id);"
                "CREATE INDEX IF NOT EXISTS scores_week ON scores(week, player);");
}

bool TScoreStore::KnownPlayer(const std::string& id) {
    if (id.empty()) return false;
    TStatement query = FDb.Prepare("SELECT 1 FROM players WHERE id = ?1");
    query.Bind(1, id);
    return query.Step();
}

std::string TScoreStore::NewPlayerID() {
    static constexpr char Hex[] = "0123456789abcdef";
    std::random_device device;
    for (;;) {
        std::string id;
        for (int i = 0; i < 32; ++i)
            id += Hex[device() % 16];
        if (!KnownPlayer(id)) return id;
    }
}

std::vector<TListEntry> TScoreStore::List(const std::string& week, size_t limit) {
    // Each player's best publication (the earliest one among equal scores), best first.
    TStatement query = FDb.Prepare(
        "SELECT s.player, s.score, s.name, s.residence, s.country, s.age, s.sex, s.submitted "
        "FROM scores s "
        "WHERE (?1 = '' OR s.week = ?1) AND s.id = ("
        "  SELECT t.id FROM scores t WHERE t.player = s.player AND (?1 = '' OR t.week = ?1)"
        "  ORDER BY t.score DESC, t.id ASC LIMIT 1) "
        "ORDER BY s.score DESC, s.id ASC LIMIT ?2");
    query.Bind(1, week).Bind(2, limit == 0 ? int64_t(-1) : static_cast<int64_t>(limit));
    std::vector<TListEntry> list;
    while (query.Step()) {
        TListEntry entry;
        entry.Rank = static_cast<int>(list.size()) + 1;
        entry.PlayerID = query.Text(0);
        entry.Score = static_cast<int32_t>(query.Int(1));
        entry.Name = query.Text(2);
        entry.Residence = query.Text(3);
        entry.Country = query.Text(4);
        entry.Age = static_cast<int>(query.Int(5));
        const std::string sex = query.Text(6);
        entry.Sex = sex.empty() ? ' ' : sex[0];
        entry.Time = query.Int(7);
        list.push_back(std::move(entry));
    }
    return list;
}

TPublishReply TScoreStore::Submit(const TPublishRecord& record, TServerClock::time_point now) {
    const std::lock_guard guard(FLock);
    const std::string week = IsoWeekKey(now);
    const int64_t seconds = TServerClock::to_time_t(now);

    TTransaction transaction(FDb);
    std::string player = record.PublishID;
    if (!KnownPlayer(player)) {
        player = NewPlayerID();
        FDb.Prepare("INSERT INTO players (id, created) VALUES (?1, ?2)")
            .Bind(1, player)
            .Bind(2, seconds)
            .Run();
    }

    TPublishReply reply;
    reply.ID = player;
    reply.Alterrang = RankOf(List("", 0), player);
    reply.wAlterrang = RankOf(List(week, 0), player);

    FDb.Prepare("INSERT INTO scores (player, score, name, residence, country, email, age, sex,"
                " comment, games_started, games_won, game_record, submitted, week)"
                " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)")
        .Bind(1, player)
        .Bind(2, record.Score)
        .Bind(3, AnsiToUtf8(record.PublishName))
        .Bind(4, AnsiToUtf8(record.Residence))
        .Bind(5, AnsiToUtf8(record.Country))
        .Bind(6, AnsiToUtf8(record.Email))
        .Bind(7, record.Age)
        .Bind(8, record.Sex == ' ' ? std::string() : std::string(1, record.Sex))
        .Bind(9, AnsiToUtf8(record.Comment))
        .Bind(10, record.GamesStarted)
        .Bind(11, record.GamesWon)
        .Bind(12, AnsiToUtf8(record.GameRecord))
        .Bind(13, seconds)
        .Bind(14, week)
        .Run();

    const std::vector<TListEntry> allTime = List("", 0);
    const std::vector<TListEntry> weekly = List(week, 0);
    reply.Rang = RankOf(allTime, player);
    reply.Platz1 = TopScore(allTime);
    reply.wRang = RankOf(weekly, player);
    reply.wPlatz1 = TopScore(weekly);
    transaction.Commit();
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
    TStatement query = FDb.Prepare("SELECT COUNT(*) FROM scores");
    return query.Step() ? query.Int(0) : 0;
}
