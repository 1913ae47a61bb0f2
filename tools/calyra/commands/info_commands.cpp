// init, info and sql: the file as a whole.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <optional>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "cli/command_context.h"
#include "cli/command_row.h"
#include "idl/owned_record.h"
#include "import_export/contact_cards.h"
#include "import_export/side_rows.h"
#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/database_file.h"
#include "session/query_rows.h"
#include "session/transaction.h"
#include "side_store/side_store.h"
#include "tables/sql_text.h"

namespace calyra::cli {
namespace info_commands {

Json InfoOf(Session& session) {
    IPimDbAccess* db = session.connection();
    Json info;
    info["file"] = session.database().string();
    auto version = QueryRows(db, u"SELECT [VerString] FROM [tVer];");
    info["schema_version"] = version.empty() ? Json() : Json(version.back()[0]);

    Json profiles = Json::array();
    for (const auto& row : QueryRows(db, u"SELECT [ProfileID], [ProfileName] FROM [tProfile] ORDER BY [ProfileID];"))
        profiles.push_back({{"id", row[0]}, {"name", row[1]}});
    info["profiles"] = profiles;

    Json tables = Json::array();
    for (const auto& t : QueryRows(db,
                                   u"SELECT [name] FROM [sqlite_master] WHERE [type] = 'table' AND [name] "
                                   u"NOT LIKE 'sqlite%' ORDER BY [name];")) {
        const std::u16string name = Utf8ToUtf16(t[0]);
        Json table{{"table", t[0]}};
        auto count = QueryRows(db, SqlText(u"SELECT COUNT(*) FROM ").AppendName(name).Append(u";").view());
        table["rows"] = count.empty() ? 0 : std::stol(count[0][0]);
        bool profiled = false;
        for (const auto& column : QueryRows(db, SqlText(u"PRAGMA table_info(").AppendName(name).Append(u");").view()))
            if (column.size() > 1 && column[1] == "ProfileID") profiled = true;
        Json perProfile = Json::object();
        if (profiled && t[0] != "tProfile")
            for (const auto& row : QueryRows(db, SqlText(u"SELECT [ProfileID], COUNT(*) FROM ")
                                                     .AppendName(name)
                                                     .Append(u" GROUP BY [ProfileID];")
                                                     .view()))
                perProfile[row[0]] = std::stol(row[1]);
        table["per_profile"] = perProfile;
        tables.push_back(table);
    }
    info["tables"] = tables;
    return info;
}

void ShowInfo(CommandContext& ctx) {
    Json info = InfoOf(ctx.session());
    if (ctx.out().json()) return ctx.out().object(info);
    auto& os = ctx.out().stream();
    if (ctx.out().forPeople()) os << "Database:       " << info["file"].get<std::string>() << "\n";
    std::string profiles;
    for (const auto& p : info["profiles"])
        profiles +=
            (profiles.empty() ? "" : ", ") + p["id"].get<std::string>() + " (" + p["name"].get<std::string>() + ")";
    if (ctx.out().forPeople())
        os << "Schema version: " << CellText(info["schema_version"]) << "\n"
           << "Profiles:       " << (profiles.empty() ? "(none)" : profiles) << "\n\n";
    std::vector<std::string> header{"table", "rows"};
    for (const auto& p : info["profiles"]) header.push_back("profile " + p["id"].get<std::string>());
    std::vector<std::vector<std::string>> rows;
    for (const auto& t : info["tables"]) {
        std::vector<std::string> row{t["table"].get<std::string>(), std::to_string(t["rows"].get<long>())};
        for (const auto& p : info["profiles"]) {
            const auto& per = t["per_profile"];
            const auto id = p["id"].get<std::string>();
            row.push_back(per.contains(id) ? std::to_string(per[id].get<long>()) : (per.empty() ? "" : "0"));
        }
        rows.push_back(std::move(row));
    }
    // CSV and TSV: the table alone, one record per table of the file.
    ctx.out().table(header, rows);
}

bool IsQuery(const std::string& sql) {
    size_t i = 0;
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
    std::string word;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return word == "SELECT" || word == "WITH" || word == "PRAGMA" || word == "VALUES" || word == "EXPLAIN";
}

// A query's result with its column names and SQL NULL told apart from an
// empty text.
struct SqlResult {
    std::vector<std::string> names;
    Json rows = Json::array();  // arrays of texts and nulls
};

// A value as quote() writes it: NULL, 'text' with its quotes doubled, a
// number, or X'…' for a blob (kept as written).
Json Unquoted(const std::string& value) {
    if (value == "NULL") return nullptr;
    if (value.size() < 2 || value.front() != '\'') return value;
    std::string text;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        text += value[i];
        if (value[i] == '\'') ++i;
    }
    return text;
}

// The connection serves every value as text, without column names. Both
// come from a temporary view over the statement: its columns' names, and
// its rows read through quote(), which tells NULL from an empty text. A
// statement that cannot be a view's body (PRAGMA, EXPLAIN) is read as it
// is, its columns numbered "#1", "#2" and NULL read as "". The view lives
// in the connection's temporary schema and runs through Query, which never
// writes the file.
SqlResult ReadQuery(IPimDbAccess* db, const std::string& sql) {
    SqlResult result;
    bool viewed = false;
    try {
        QueryRows(db, u"CREATE TEMP VIEW [calyra_sql_columns] AS " + Utf8ToUtf16(sql));
        viewed = true;
        SqlText select(u"SELECT ");
        for (const auto& column : QueryRows(db, u"PRAGMA temp.table_info([calyra_sql_columns]);")) {
            select.Append(result.names.empty() ? Sql(u"quote(") : Sql(u", quote("))
                .AppendName(Utf8ToUtf16(column.at(1)))
                .Append(u")");
            result.names.push_back(column.at(1));
        }
        for (const auto& row : QueryRows(db, select.Append(u" FROM temp.[calyra_sql_columns];").view())) {
            Json values = Json::array();
            for (const auto& value : row) values.push_back(Unquoted(value));
            result.rows.push_back(std::move(values));
        }
        QueryRows(db, u"DROP VIEW temp.[calyra_sql_columns];");
        return result;
    } catch (const ClientError&) {
        if (viewed) QueryRows(db, u"DROP VIEW IF EXISTS temp.[calyra_sql_columns];");
    }
    LONG columns = 0;
    result = SqlResult();
    for (const auto& row : QueryRows(db, Utf8ToUtf16(sql), &columns)) result.rows.push_back(row);
    for (LONG c = 0; c < columns; ++c) result.names.push_back(fmt::format("#{}", c + 1));
    return result;
}

// Rows changed by every statement of the connection so far.
long long TotalChanges(IPimDbAccess* db) { return std::stoll(QueryRows(db, u"SELECT total_changes();").at(0).at(0)); }

void RunSql(CommandContext& ctx, const std::string& sql) {
    if (!IsQuery(sql)) ctx.willWrite();
    IPimDbAccess* db = ctx.session().connection();
    // The component says only that a statement failed; the engine's own
    // words come from preparing it once more.
    const auto failed = [&](const ClientError& e) {
        const std::string words = SqlErrorText(ctx.session().database(), sql);
        return words.empty() ? e : ClientError(std::string(e.what()) + ": " + words, e.status(), words.empty());
    };
    if (!IsQuery(sql)) {
        LONG err = 0;
        Bstr id;
        const long long before = TotalChanges(db);
        try {
            Check(db->Execute(&err, Bstr::FromUtf8(sql), &id), err, "statement failed");
        } catch (const ClientError& e) {
            throw failed(e);
        }
        // Counted over the whole text, so a text of several statements
        // reports all their rows; 0 for statements that change no rows.
        const long long changed = TotalChanges(db) - before;
        // "0": the statement inserted no row.
        const bool inserted = !id.empty() && id.utf8() != "0";
        Json result{{"ok", true}, {"changed", changed}};
        if (inserted) result["id"] = id.utf8();
        return ctx.out().done(fmt::format("{} row{} changed{}", changed, changed == 1 ? "" : "s",
                                          inserted ? "; new row " + id.utf8() : ""),
                              result);
    }
    SqlResult result;
    try {
        result = ReadQuery(db, sql);
    } catch (const ClientError& e) {
        throw failed(e);
    }
    // JSON keeps each row an array (texts, and null for SQL NULL), so two
    // columns of one name never collide.
    if (ctx.out().json()) return ctx.out().list(result.rows);
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : result.rows) {
        std::vector<std::string>& cells = rows.emplace_back();
        for (const auto& value : row) cells.push_back(CellText(value));
    }
    ctx.out().table(result.names, rows);
    if (ctx.out().forPeople())
        ctx.out().stream() << fmt::format("({} row{})\n", rows.size(), rows.size() == 1 ? "" : "s");
}

// init --reset: the one way to start over on a file calyra refuses (another
// program's, a later version's, not a database) or on one of its own.
void ResetFile(const std::filesystem::path& file, bool yes) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    if (std::filesystem::is_directory(file, ec))
        throw ClientError(file.string() + " is a directory; init --reset deletes only files");
    if (!yes) {
        if (!::isatty(STDIN_FILENO))
            throw ClientError("init --reset deletes " + file.string() + " and everything in it; add --yes to confirm",
                              2);
        std::cerr << "Delete " << file.string() << " and everything in it, and start over? [y/N] ";
        std::string answer;
        std::getline(std::cin, answer);
        if (answer != "y" && answer != "Y" && answer != "yes") throw ClientError("nothing deleted", 1);
    }
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        const std::filesystem::path part = file.string() + suffix;
        std::filesystem::remove(part, ec);
        if (ec) throw ClientError("cannot delete " + part.string() + ": " + ec.message());
    }
}

struct InitOptions {
    std::string file;
    bool reset = false;
    bool yes = false;
};

void DeclareInit(CLI::App& init, InitOptions& o) {
    init.add_option("file", o.file, "The file (default: --db, else the default file)");
    init.add_flag("--reset", o.reset,
                  "Delete the file first and start over with an empty database (also a file calyra refuses: "
                  "another program's, a later version's, not a database)");
    init.add_flag("--yes", o.yes, "Confirm --reset without asking");
}

void RunInit(CommandContext& ctx, const InitOptions& o) {
    if (!o.file.empty()) ctx.options.db = o.file;
    if (o.reset) ResetFile(ctx.options.db.empty() ? DefaultDatabase() : std::filesystem::path(ctx.options.db), o.yes);
    Session& s = ctx.session();
    ctx.out().done("ready: " + s.database().string(), Json{{"file", s.database().string()}});
}

void RunInfo(CommandContext& ctx, const NoOptions&) { ShowInfo(ctx); }

struct SqlOptions {
    std::string statement;
};

void DeclareSql(CLI::App& sql, SqlOptions& o) {
    sql.add_option("statement", o.statement, "The statement, e.g. \"SELECT * FROM tContact\"")->required();
}

void RunSqlCommand(CommandContext& ctx, const SqlOptions& o) { RunSql(ctx, o.statement); }

struct CheckOptions {
    bool repair = false;
};

void DeclareCheck(CLI::App& check, CheckOptions& o) {
    check.add_flag("--repair", o.repair,
                   "Also repair: drop what calyra keeps about items that are gone or whose table was made anew, "
                   "and keep the changed contacts, events and tasks as they are now");
}

// What calyra keeps beside the records (UIDs, the cards items came from,
// hashes): items changed by another program since calyra stored them, and
// side rows left by items that are gone.
void RunCheck(CommandContext& ctx, const CheckOptions& o) {
    if (o.repair) ctx.willWrite();
    Session& session = ctx.session();
    std::optional<Transaction> transaction;
    if (o.repair) transaction.emplace(session);
    SideStore side(session);
    const SweepReport swept = o.repair ? side.sweep() : side.inspect();
    const ContactSideCheck contacts = CheckContactSideState(session, o.repair);
    const SideCheck events = CheckSideState(session, ItemFamily::Event, o.repair);
    const SideCheck tasks = CheckSideState(session, ItemFamily::Task, o.repair);
    if (transaction) transaction->commit();
    Json recreated = Json::array();
    for (ItemFamily family : swept.recreated) recreated.push_back(std::string(FamilyName(family)));
    Json result{{"repaired", o.repair},
                {"contacts_checked", contacts.checked},
                {"contacts_changed", contacts.changed},
                {"events_checked", events.checked},
                {"events_changed", events.changed},
                {"tasks_checked", tasks.checked},
                {"tasks_changed", tasks.changed},
                {"orphans", swept.orphans},
                {"recreated_tables", recreated}};
    // "3 contacts checked, 1 changed by another program (7)"
    auto counted = [](size_t checked, const std::vector<std::string>& changed, const char* one, const char* many) {
        return fmt::format("{} {} checked, {} changed by another program{}", checked, checked == 1 ? one : many,
                           changed.size(),
                           changed.empty() ? "" : " (" + fmt::format("{}", fmt::join(changed, ", ")) + ")");
    };
    std::string message = counted(contacts.checked, contacts.changed, "contact", "contacts");
    if (events.checked) message += "; " + counted(events.checked, events.changed, "event", "events");
    if (tasks.checked) message += "; " + counted(tasks.checked, tasks.changed, "task", "tasks");
    message += fmt::format("; {} orphaned side row{}{}", swept.orphans, swept.orphans == 1 ? "" : "s",
                           o.repair ? " removed" : "");
    if (!swept.recreated.empty()) message += fmt::format("; side rows of tables made anew: {}", recreated.dump());
    ctx.out().done(message, result);
}

// `sql` reads in its reading form; a statement that writes calls
// willWrite() before the session opens.
constexpr CommandRow kInfoCommands[] = {
    Row<InitOptions, DeclareInit, RunInit>(
        "init", "Create the database file with its schema (or upgrade an older one, keeping a copy of it)",
        Access::Writes),
    Row<RunInfo>("info", "Show the file, its schema version and the rows per profile and table", Access::Reads),
    Row<CheckOptions, DeclareCheck, RunCheck>(
        "check", "Check what calyra keeps beside the records (UIDs, original cards) against them", Access::Reads),
    Row<SqlOptions, DeclareSql, RunSqlCommand>("sql", "Run one SQL statement through the component's connection",
                                               Access::Reads),
};

}  // namespace info_commands

void AddInfoCommands(CLI::App& app, CommandContext& ctx) { AddRows(app, ctx, info_commands::kInfoCommands); }

}  // namespace calyra::cli
