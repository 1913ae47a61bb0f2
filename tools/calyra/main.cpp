// calyra: the command-line client. Opens (or creates) a personal-information
// database and shows what it holds.
//
//   calyra [--db FILE] [info]
//
// Without --db the database is $CALYRA_DB, else
// $XDG_DATA_HOME/calyra/calyra.db (~/.local/share/calyra/calyra.db).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/pim_db_access.h"
#include "management/schema_upgrade.h"
#include "platform/com_ptr.h"

using calyra::Bstr;
using calyra::ComPtr;

namespace {

std::filesystem::path DefaultDatabase() {
    if (const char* db = std::getenv("CALYRA_DB"); db && *db) return db;
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "share";
    else
        base = ".";
    return base / "calyra" / "calyra.db";
}

// Runs a query and returns its rows as UTF-8 texts.
std::vector<std::vector<std::string>> Rows(IPimDbAccess* db, const std::u16string& sql) {
    std::vector<std::vector<std::string>> out;
    LONG rows = 0, cols = 0;
    LONGLONG vm = 0;
    if (FAILED(db->Query(nullptr, Bstr(sql), &rows, &cols, &vm))) {
        db->FreeResultset(nullptr, &vm);
        return out;
    }
    std::vector<USHORT> buf(2049);
    for (LONG r = 0; r < rows; ++r) {
        std::vector<std::string> row;
        for (LONG c = 0; c < cols; ++c) {
            db->GetFieldValue(nullptr, &vm, c, buf.data(), static_cast<ULONG>(buf.size()));
            row.push_back(calyra::Utf16ToUtf8(reinterpret_cast<const char16_t*>(buf.data())));
        }
        out.push_back(std::move(row));
        db->NextRow(nullptr, &vm);
    }
    db->FreeResultset(nullptr, &vm);
    return out;
}

int Usage(FILE* to) {
    std::fprintf(to, "usage: calyra [--db FILE] [info]\n");
    return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path dbPath = DefaultDatabase();
    std::string command = "info";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--db" && i + 1 < argc) {
            dbPath = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            return Usage(stdout);
        } else if (arg == "info") {
            command = arg;
        } else {
            return Usage(stderr);
        }
    }
    std::error_code ec;
    if (dbPath.has_parent_path()) std::filesystem::create_directories(dbPath.parent_path(), ec);

    ComPtr<IPimDbAccess> db;
    if (FAILED(calyra::CreateComInstance<calyra::CPimDbAccess>(nullptr, IID_IPimDbAccess,
                                                              reinterpret_cast<void**>(&db)))) {
        std::fprintf(stderr, "calyra: cannot create the connection\n");
        return 1;
    }
    LONG err = 0;
    if (FAILED(db->OpenPimDatabase(&err, Bstr(u"calyra"), Bstr(u"calyra"), Bstr::FromUtf8(dbPath.string())))) {
        std::fprintf(stderr, "calyra: cannot open %s (error 0x%X)\n", dbPath.c_str(), static_cast<unsigned>(err));
        return 1;
    }
    // A new file gets the whole schema; an older one is upgraded.
    calyra::OptimizePimDatabasePerformance(db.get());
    calyra::UpdatePimDatabase(db.get());
    std::printf("Database: %s\n", dbPath.c_str());
    auto version = Rows(db.get(), u"SELECT [VerString] FROM [tVer];");
    std::printf("Schema version: %s\n", version.empty() ? "(none)" : version.back()[0].c_str());
    auto tables = Rows(db.get(), u"SELECT [name] FROM [sqlite_master] WHERE [type] = 'table' AND [name] NOT LIKE "
                                 u"'sqlite_%' ORDER BY [name];");
    if (tables.empty()) std::printf("No tables yet.\n");
    for (const auto& t : tables) {
        std::u16string name = calyra::Utf8ToUtf16(t[0]);
        std::u16string quoted;
        for (char16_t c : name) {
            quoted += c;
            if (c == u']') quoted += u']';
        }
        auto count = Rows(db.get(), u"SELECT COUNT(*) FROM [" + quoted + u"];");
        std::printf("  %-32s %s rows\n", t[0].c_str(), count.empty() ? "?" : count[0][0].c_str());
    }
    db->ClosePimDatabase(nullptr);
    return 0;
}
