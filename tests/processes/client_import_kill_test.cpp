// The real `calyra contacts import` of a few thousand cards, killed with
// SIGKILL at random moments of its run: after every kill the file passes
// SQLite's integrity check and holds either every card or none (the count
// before the import, every contact with both its phones and its e-mail).
// A full run afterwards stores them all, and importing the file again adds
// nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "processes/raw_database.h"
#include "support/child_process.h"
#include "tools/calyra/client_run.h"

namespace {

using calyra::test::ChildProcess;
using calyra::test::RawColumn;

constexpr int kStored = 50;   // contacts the profile has before the import
constexpr int kCards = 3000;  // cards of the file, the first kStored of them already stored

std::string Cards(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        text += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family" + n + ";Given;;;\r\nTEL;TYPE=WORK:+46 8 555 " + n +
                "\r\nTEL;TYPE=CELL:+46 70 555 " + n + "\r\nEMAIL:contact" + n + "@example.org\r\nEND:VCARD\r\n";
    }
    return text;
}

// Contacts, phone numbers and e-mail addresses in the file.
std::vector<long> Counts(const std::string& file) {
    std::vector<long> counts;
    for (const char* table : {"tContact", "tPhoneNumber", "tEmail"}) {
        auto rows = RawColumn(file, std::string("SELECT COUNT(*) FROM [") + table + "];", true);
        counts.push_back(rows.size() == 1 ? std::stol(rows[0]) : -1);
    }
    return counts;
}

std::vector<long> Whole(long contacts) { return {contacts, 2 * contacts, contacts}; }

void CopyDatabase(const std::string& from, const std::string& to) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(to + suffix);
    std::filesystem::copy_file(from, to);
}

TEST(ClientImportKill, AKilledImportLeavesEveryCardOrNoneAndTheFileWhole) {
    calyra::test::TempDir dir;
    const std::string pristine = dir.file("before.db").string(), file = dir.file("import.db").string();
    const std::string cards = dir.file("cards.vcf").string(), first = dir.file("first.vcf").string();
    std::ofstream(cards, std::ios::binary) << Cards(kCards);
    std::ofstream(first, std::ios::binary) << Cards(kStored);
    const calyra::test::ClientRun client;  // each run names its file with --db
    ASSERT_EQ(client({"--db", pristine, "profiles", "add", "Phone"}).status, 0);
    ASSERT_EQ(client({"--db", pristine, "contacts", "import", first}).status, 0);
    ASSERT_EQ(Counts(pristine), Whole(kStored));

    // How long a whole import takes here: the kills fall anywhere in it.
    CopyDatabase(pristine, file);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(client({"--db", file, "contacts", "import", cards}).status, 0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(Counts(file), Whole(kCards));

    std::mt19937 random(std::random_device{}());
    const int kills = calyra::test::KillsPerRun(10);
    int killed = 0, finished = 0, integrityFailures = 0, halfImports = 0;
    CopyDatabase(pristine, file);
    for (int k = 0; k < kills; ++k) {
        ChildProcess import({CALYRA_CLIENT_PATH, "--db", file, "contacts", "import", cards});
        ASSERT_TRUE(import.started());
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (whole.count() + 1)));
        import.Kill();
        const int status = import.Finish();
        (status == 0 ? finished : killed) += 1;

        const bool intact = RawColumn(file, "PRAGMA integrity_check;", true) == std::vector<std::string>{"ok"};
        const std::vector<long> counts = Counts(file);
        const bool allOrNothing = counts == Whole(kStored) || counts == Whole(kCards);
        integrityFailures += intact ? 0 : 1;
        halfImports += allOrNothing ? 0 : 1;
        EXPECT_TRUE(intact) << "integrity check failed after kill " << k;
        EXPECT_TRUE(allOrNothing) << "after kill " << k << " (status " << status << "): " << counts[0] << " contacts, "
                                  << counts[1] << " phones, " << counts[2] << " e-mails";
        // An import that got to its end starts the next round from the beginning.
        if (counts == Whole(kCards)) CopyDatabase(pristine, file);
    }
    std::printf("kills %d (finished first %d), integrity failures %d, half imports %d\n", killed, finished,
                integrityFailures, halfImports);

    // After all that, a whole run stores every card, and a second one adds nothing.
    ASSERT_EQ(client({"--db", file, "contacts", "import", cards}).status, 0);
    EXPECT_EQ(Counts(file), Whole(kCards));
    const calyra::test::ClientResult again = client({"--db", file, "contacts", "import", cards});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Counts(file), Whole(kCards)) << again.out;
    EXPECT_NE(again.out.find("added 0 contacts, updated 0, unchanged " + std::to_string(kCards)), std::string::npos)
        << again.out;
}

}  // namespace
