// The play statistics commands: plays record and plays top, for music files
// and (with --podcast) podcast episodes. The two kinds follow one pattern,
// written once and driven by a small description per record type.
//
// Ownership: the options structs belong to the CommandContext.
// Thread-safety: one thread, like the rest of the command line.
#include <filesystem>

#include <fmt/format.h>

#include "cli/record_options.h"
#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "records/record_fields.h"
#include "session/client_error.h"

#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/command_tree.h"

namespace calyra::cli {
namespace play_commands {

// The top list is limited by the component to 1..99 entries.
constexpr LONG kMinTopPlays = 1;
constexpr LONG kMaxTopPlays = 99;

// What differs between the music and the podcast statistics.
template <class R>
struct PlayKind;

template <>
struct PlayKind<tagMostFrequentlyPlayedMusic> {
    using Interface = IMostFrequentlyPlayedMusic;
    static constexpr const char* kNoun = "music file";
    static constexpr auto kQuery = &Interface::QueryMfpmEntry;
    static constexpr auto kRecord = &Interface::UpdateMostFrequentlyPlayedMusic;
    static constexpr auto kTop = &Interface::GetMostFrequentlyPlayedMusics;
    static std::vector<std::string> Columns() {
        return {"counter", "title", "artist", "album", "last_played", "full_path"};
    }
};

template <>
struct PlayKind<tagMostFrequentlyPlayedPodcast> {
    using Interface = IMostFrequentlyPlayedPodcast;
    static constexpr const char* kNoun = "podcast episode";
    static constexpr auto kQuery = &Interface::QueryMfppEntry;
    static constexpr auto kRecord = &Interface::UpdateMostFrequentlyPlayedPodcast;
    static constexpr auto kTop = &Interface::GetMostFrequentlyPlayedPodcasts;
    static std::vector<std::string> Columns() {
        return {"counter", "episode", "album", "release_date", "last_played", "full_path"};
    }
};

// Fields the component fills itself; never options.
const std::vector<std::string> kComputedFields{"entry_id", "full_path", "counter", "last_played"};

template <class R>
void SetPath(R* entry, const std::string& path) {
    SetField(*FindField(RecordDescriptionOf<R>(), "full_path"), entry, path);
}

// Counts one play of `entry` (its path and details filled) and returns what
// a script needs to find the entry again.
template <class R>
Json RecordPlay(Session& session, OwnedRecord<R>& entry) {
    using Kind = PlayKind<R>;
    auto stats = session.access<typename Kind::Interface>();
    LONG err = 0;
    Check((stats.get()->*Kind::kRecord)(&err, &entry), err,
          std::string("cannot record the play of the ") + Kind::kNoun);

    // The entry's ID, for the report: look it up by its path again.
    OwnedRecord<R> probe;
    SetPath<R>(&probe, BstrUtf8(entry.bstrFullPath));
    VARIANT_BOOL found = VARIANT_FALSE;
    Check((stats.get()->*Kind::kQuery)(&err, &probe, &found), err, "cannot look up the recorded entry");
    Json result{{"entry_id", found ? Json(BstrUtf8(probe.bstrEntryID)) : Json()},
                {"full_path", BstrUtf8(entry.bstrFullPath)},
                {"podcast", std::is_same_v<R, tagMostFrequentlyPlayedPodcast>}};
    std::error_code ec;
    result["file_exists"] = std::filesystem::exists(std::filesystem::path(BstrUtf8(entry.bstrFullPath)), ec);
    return result;
}

template <class R>
Json TopPlays(Session& session, LONG count) {
    using Kind = PlayKind<R>;
    auto stats = session.access<typename Kind::Interface>();
    LONG err = 0, filled = 0;
    OwnedRecordArray<R> top;
    Check((stats.get()->*Kind::kTop)(&err, count, &filled, &top), err,
          std::string("cannot list the most played ") + Kind::kNoun + "s");
    // The array always has `count` elements; only the first `filled` hold entries.
    Json out = Json::array();
    for (LONG i = 0; i < filled && i < top.size(); ++i) out.push_back(ToJson(top[i]));
    return out;
}

// "song.mp3" -> "/home/me/song.mp3": the top list later tests whether the
// file exists, which a relative path would do against whatever directory
// that command runs in.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

struct RecordOptionsOfPlay {
    std::string path;
    bool podcast = false;
    RecordOptions musicFields;
    RecordOptions podcastFields;
};

void DeclareRecord(CLI::App& record, RecordOptionsOfPlay& o) {
    record.add_option("path", o.path, "The played file (made absolute; the top list drops files that no longer exist)")
        ->required();
    record.add_flag("--podcast", o.podcast, "The file is a podcast episode (details: --album and the podcast options)");
    o.musicFields.add(record, std::type_identity<tagMostFrequentlyPlayedMusic>{}, kComputedFields);
    std::vector<std::string> podcastSkip = kComputedFields;
    podcastSkip.push_back("album");  // shared with the music options above
    o.podcastFields.add(record, std::type_identity<tagMostFrequentlyPlayedPodcast>{}, podcastSkip);
}

void RunRecord(CommandContext& ctx, const RecordOptionsOfPlay& o) {
    if (o.path.empty()) throw ClientError("the path must not be empty", 2);
    const std::string full = AbsolutePath(o.path);
    Json result;
    if (o.podcast) {
        for (const char* key : {"title", "artist"})
            if (o.musicFields.value(key))
                throw ClientError(fmt::format("--{} is for music; a podcast has --episode", key), 2);
        OwnedRecord<tagMostFrequentlyPlayedPodcast> entry;
        o.podcastFields.apply(&entry);
        if (const std::string* album = o.musicFields.value("album"))
            SetField(*FindField(RecordDescriptionOf<tagMostFrequentlyPlayedPodcast>(), "album"), &entry, *album);
        SetPath<tagMostFrequentlyPlayedPodcast>(&entry, full);
        result = RecordPlay(ctx.session(), entry);
    } else {
        if (o.podcastFields.given() > 0)
            throw ClientError("--episode, --time, --release-date and --description are for podcasts; add --podcast", 2);
        OwnedRecord<tagMostFrequentlyPlayedMusic> entry;
        o.musicFields.apply(&entry);
        SetPath<tagMostFrequentlyPlayedMusic>(&entry, full);
        result = RecordPlay(ctx.session(), entry);
    }
    std::string message = "recorded a play of " + full;
    if (!result["entry_id"].is_null()) message += " (entry " + result["entry_id"].get<std::string>() + ")";
    if (!result["file_exists"].get<bool>())
        message += "\nnote: the file does not exist, so 'plays top' will drop this entry when it reaches it";
    ctx.out().done(message, result);
}

struct TopOptions {
    LONG count = 10;
    bool podcast = false;
};

void DeclareTop(CLI::App& top, TopOptions& o) {
    top.add_option("count", o.count, fmt::format("How many ({} to {}, default 10)", kMinTopPlays, kMaxTopPlays));
    top.add_flag("--podcast", o.podcast, "Podcast episodes instead of music files");
}

void RunTop(CommandContext& ctx, const TopOptions& o) {
    if (o.count < kMinTopPlays || o.count > kMaxTopPlays)
        throw ClientError(fmt::format("the count must be between {} and {}", kMinTopPlays, kMaxTopPlays), 2);
    if (o.podcast)
        ctx.out().list(TopPlays<tagMostFrequentlyPlayedPodcast>(ctx.session(), o.count),
                       PlayKind<tagMostFrequentlyPlayedPodcast>::Columns());
    else
        ctx.out().list(TopPlays<tagMostFrequentlyPlayedMusic>(ctx.session(), o.count),
                       PlayKind<tagMostFrequentlyPlayedMusic>::Columns());
}

constexpr CommandRow kPlayCommands[] = {
    Row<RecordOptionsOfPlay, DeclareRecord, RunRecord>(
        "record", "Count one play of a file (its details are stored with the first play; later plays only count up)",
        Access::Writes),
    Row<TopOptions, DeclareTop, RunTop>(
        "top",
        "The most played files: most plays first, equal counts most recently played first; entries whose file no "
        "longer exists are removed as the list reaches them",
        Access::Reads),
};

}  // namespace play_commands

void AddPlayCommands(CLI::App& app, CommandContext& ctx) {
    AddGroup(app, ctx,
             {"plays", "Play statistics of music files and podcast episodes", nullptr, play_commands::kPlayCommands});
}

}  // namespace calyra::cli
