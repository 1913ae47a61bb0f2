#include "interchange/vcard_batches.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <exception>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "interchange/content_line.h"
#include "interchange/text_encoding.h"

namespace calyra::interchange {
namespace {

// Whether `line` (without its line break) is exactly `word` in any case.
// Stricter than the reader, which also takes spaces: a line this misses is
// only a place not cut at.
bool IsExactly(std::string_view line, std::string_view word) {
    if (line.size() != word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(line[i])) != word[i]) return false;
    return true;
}

// Whether the name part of `line` (before its first ':' or ';') holds
// BEGIN, END or AGENT in any case: the only properties that move a card's
// depth. Erring towards yes (X-SENDER holds END) only costs a full read.
bool MayMoveDepth(std::string_view line) {
    const std::string_view name = line.substr(0, line.find_first_of(":;"));
    char upper[40];
    if (name.size() > sizeof upper) return true;  // no name that long is ordinary; read it in full
    for (size_t i = 0; i < name.size(); ++i)
        upper[i] = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
    const std::string_view words(upper, name.size());
    return words.find("BEGIN") != words.npos || words.find("END") != words.npos || words.find("AGENT") != words.npos;
}

bool IsBlank(std::string_view line) {
    for (char c : line)
        if (c != ' ' && c != '\t') return false;
    return true;
}

// Follows how deep the reader is: 0 between cards, 1 in a card, more inside
// an embedded (AGENT) card, reading each line as the reader reads it.
class CardDepth {
public:
    // `folded`: the line goes on in the next one, so its whole cannot be
    // read here: it is never a card boundary, and it may be an empty AGENT
    // (erring towards an embedded card, where no cut is made).
    void see(std::string_view physical, bool folded) {
        if (physical.front() == ' ' || physical.front() == '\t') return;  // a folded continuation
        if (folded) {
            m_agentPending = m_depth >= 1;
            return;
        }
        // Any other property only ends a pending AGENT, so it is read in
        // full only then: reading every line showed in an import's profile.
        if (!m_agentPending && !MayMoveDepth(physical)) return;
        ContentLine l;
        std::string error;
        // A line that is no property changes nothing, as for the reader: an
        // empty AGENT still waits for its card after it.
        if (!ParseContentLine({0, std::string(physical)}, &l, &error)) return;
        const bool card = AsciiUpper(TrimBlanks(l.value)) == "VCARD";
        if (card && l.name == "BEGIN") {
            // A BEGIN inside a card (embedded or not) starts an embedded
            // card only right after an empty AGENT; otherwise the reader
            // ends the open cards there and starts the next one.
            m_depth = m_depth >= 1 && m_agentPending ? m_depth + 1 : 1;
        } else if (card && l.name == "END" && m_depth > 0) {
            --m_depth;
        }
        m_agentPending = m_depth >= 1 && l.name == "AGENT" && TrimBlanks(l.value).empty();
    }
    int depth() const { return m_depth; }

private:
    int m_depth = 0;
    bool m_agentPending = false;
};

using BatchVisit = std::function<void(VCardParseResult&, size_t)>;

// The part of the input a reader still needs: bytes before `base()` went
// to batches already and are let go when more is read.
class Window {
public:
    Window(const ByteSource& input, std::string start) : m_input(input), m_text(std::move(start)) {}

    // The bytes held, the first at offset base() of the input.
    std::string_view text() const { return m_text; }
    size_t base() const { return m_base; }
    bool ended() const { return m_ended; }
    // Reads the next piece, first letting go of the bytes before `keepFrom`.
    void more(size_t keepFrom) {
        m_text.erase(0, keepFrom - m_base);
        m_base = keepFrom;
        m_ended = !m_input(m_text);
    }
    // Everything that is left.
    void all() {
        while (!m_ended) m_ended = !m_input(m_text);
    }

private:
    const ByteSource& m_input;
    std::string m_text;
    size_t m_base = 0;
    bool m_ended = false;
};

// Offsets count the input's bytes (those handed to `visit` too).
void ReadBatches(Window& in, size_t cardsPerBatch, const BatchVisit& visit) {
    size_t batchStart = in.base(), batchFirstLine = 1;
    size_t line = 1, cards = 0;
    // Each batch is parsed on a thread of its own while the one before is
    // handed over: an import spends about a seventh of its time parsing,
    // which a second core then hides. Batches are handed over in file
    // order. Where no thread can be started, a batch is parsed when it is
    // handed over.
    std::future<VCardParseResult> parsing;
    size_t parsingEnd = 0;
    const auto visitParsed = [&] {
        if (!parsing.valid()) return;
        VCardParseResult batch = parsing.get();
        visit(batch, parsingEnd);
    };
    const auto emit = [&](size_t end, size_t nextFirstLine) {
        // The batch's own copy of its bytes: the window moves on meanwhile.
        auto next = std::async(std::launch::async | std::launch::deferred,
                               [stretch = std::string(in.text().substr(batchStart - in.base(), end - batchStart)),
                                firstLine = batchFirstLine] {
                                   VCardParseResult batch = ParseVCardText(stretch);
                                   for (auto& card : batch.cards) card.line += firstLine - 1;
                                   for (auto& d : batch.report.diagnostics) d.line += firstLine - 1;
                                   return batch;
                               });
        visitParsed();
        parsing = std::move(next);
        parsingEnd = end;
        batchStart = end;
        batchFirstLine = nextFirstLine;
    };
    size_t pos = in.base();
    bool endSeen = false;  // the last line that was not blank ended a card
    CardDepth reader;
    // The first LF at or after pos (the end of what is held when none is),
    // found with memchr: this loop runs over every byte of a file.
    size_t lf = 0;
    bool lfKnown = false;
    for (;;) {
        const std::string_view text = in.text();
        const size_t base = in.base(), size = base + text.size();
        if (!lfKnown || lf < pos) {
            const size_t found = text.find('\n', pos - base);
            lf = found == std::string_view::npos ? size : base + found;
            lfKnown = found != std::string_view::npos || in.ended();
        }
        // A line is read once it and the byte after it are held (a CR LF
        // pair and a folded continuation are told by that byte).
        if (!in.ended() && (!lfKnown || lf + 2 > size)) {
            in.more(batchStart);
            lfKnown = false;
            continue;
        }
        if (pos >= size) break;
        const auto at = [&](size_t offset) { return text[offset - base]; };
        // Lines end as the reader ends them: CR LF, a lone CR or a lone LF.
        const size_t cr = text.substr(0, lf - base).find('\r', pos - base);
        const size_t end = cr == std::string_view::npos ? lf : base + cr;
        size_t next = end + 1;
        if (end < size && at(end) == '\r' && next < size && at(next) == '\n') ++next;
        const std::string_view current = text.substr(pos - base, end - pos);
        if (!IsBlank(current)) {
            // A cut falls just before a card's BEGIN line, after any blank
            // lines, so the reader sees each card whole and in one batch.
            // A line that goes on in a folded continuation is not what it
            // looks like on its own ("BEGIN:VCARD" + " 2" is no card's start).
            const bool folded = next < size && (at(next) == ' ' || at(next) == '\t');
            if (endSeen && !folded && reader.depth() == 0 && IsExactly(current, "BEGIN:VCARD") &&
                ++cards >= cardsPerBatch) {
                emit(pos, line);
                cards = 0;
            }
            endSeen = !folded && IsExactly(current, "END:VCARD");
            reader.see(current, folded);
        }
        pos = next;
        ++line;
    }
    // Even an empty input makes one (empty) batch; a batch is parsing
    // from the first emit on.
    const size_t size = in.base() + in.text().size();
    if (batchStart < size || !parsing.valid()) emit(size, line);
    visitParsed();
}

// Hands batches from the thread that reads them to the caller's, one at a
// time: the reader waits while a batch waits.
class Handover {
public:
    // On the reading thread. False once the caller wants no more.
    bool put(VCardParseResult batch, size_t bytesRead) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_waiting || m_stopped; });
        if (m_stopped) return false;
        m_waiting.emplace(std::move(batch), bytesRead);
        m_changed.notify_all();
        return true;
    }
    // On the reading thread, last; `error` is what stopped it, if anything.
    void end(std::exception_ptr error) {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_error = std::move(error);
        m_changed.notify_all();
    }
    // On the caller's thread: the next batch; none once the reader has
    // ended, whose error is then thrown.
    std::optional<std::pair<VCardParseResult, size_t>> take() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_waiting || m_ended; });
        if (!m_waiting) {
            if (m_error) std::rethrow_exception(m_error);
            return std::nullopt;
        }
        auto batch = std::move(m_waiting);
        m_waiting.reset();
        m_changed.notify_all();
        return batch;
    }
    // On the caller's thread: no more batches are wanted.
    void stop() {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<std::pair<VCardParseResult, size_t>> m_waiting;
    bool m_ended = false;
    bool m_stopped = false;
    std::exception_ptr m_error;
};

// Thrown on the reading thread when the caller wants no more batches.
struct Stopped {};

// Runs `read` on a thread of its own and `visit` on the caller's with each
// batch it makes. Cutting a file into cards reads every byte, a tenth of
// what an import's storing thread did; now the reader does it while the
// caller stores. When `visit` throws, the reader is stopped at its next
// batch; the sources it reads never block (a pipe is read whole before).
// Where no thread can be started, `read` runs on the caller's.
void ReadBeside(const std::function<void(const BatchVisit&)>& read, const BatchVisit& visit) {
    Handover handover;
    std::thread reader;
    try {
        reader = std::thread([&] {
            try {
                read([&](VCardParseResult& batch, size_t bytesRead) {
                    if (!handover.put(std::move(batch), bytesRead)) throw Stopped{};
                });
                handover.end(nullptr);
            } catch (const Stopped&) {
                handover.end(nullptr);
            } catch (...) {
                handover.end(std::current_exception());
            }
        });
    } catch (const std::system_error&) {
        read(visit);
        return;
    }
    try {
        while (auto batch = handover.take()) visit(batch->first, batch->second);
    } catch (...) {
        handover.stop();
        reader.join();
        throw;
    }
    reader.join();
}

// Pieces of a text already in memory, so that even it is copied a piece at
// a time into the window.
constexpr size_t kPieceBytes = size_t{1} << 20;

void ReadAll(const ByteSource& input, size_t cardsPerBatch, const BatchVisit& visit) {
    std::string start;
    // Enough to tell a byte order mark.
    while (start.size() < 3 && input(start)) {
    }
    Window in(input, std::move(start));
    const std::string_view head = in.text().substr(0, 3);
    if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF") {
        // Offsets into the converted text say nothing about the input:
        // the input is all read once the last batch is.
        in.all();
        const size_t read = in.text().size();
        const ByteSource nothingMore = [](std::string&) { return false; };
        Window converted(nothingMore, NormalizeInput(in.text()));
        const size_t convertedSize = converted.text().size();
        ReadBatches(converted, cardsPerBatch,
                    [&](VCardParseResult& batch, size_t at) { visit(batch, at == convertedSize ? read : 0); });
        return;
    }
    // A UTF-8 mark is let go: the first line starts after it, and offsets
    // go on counting the input's bytes.
    if (head == "\xEF\xBB\xBF") in.more(3);
    ReadBatches(in, cardsPerBatch, visit);
}

}  // namespace

void ReadVCardBatches(const ByteSource& input, size_t cardsPerBatch,
                      const std::function<void(VCardParseResult& batch, size_t bytesRead)>& visit) {
    if (cardsPerBatch == 0) cardsPerBatch = 1;
    ReadBeside([&](const BatchVisit& handOver) { ReadAll(input, cardsPerBatch, handOver); }, visit);
}

ByteSource PiecesOf(std::string_view bytes, size_t pieceBytes) {
    return [bytes, pieceBytes, given = size_t{0}](std::string& out) mutable {
        const std::string_view piece = bytes.substr(given, pieceBytes);
        out += piece;
        given += piece.size();
        return !piece.empty();
    };
}

void ReadVCardBatches(std::string_view bytes, size_t cardsPerBatch,
                      const std::function<void(VCardParseResult& batch, size_t bytesRead)>& visit) {
    ReadVCardBatches(PiecesOf(bytes, kPieceBytes), cardsPerBatch, visit);
}

}  // namespace calyra::interchange
