// The component from JScript, by ProgID: JScript passes whole numbers as
// 32-bit integers, other numbers as Doubles, true/false as Booleans, and
// cannot pass a variable by reference (the error ID and out values are
// then values the call drops). Checks values and the errors raised. Run by
// scripts/test-windows.sh:
//
//   cscript //nologo arguments.js
//
// Prints one line per failure and quits with the number of failures.
var E_INVALIDARG = 0x80070057 | 0;
// A dispatch status reaches JScript as itself or as the script error it
// stands for, depending on the engine: either is accepted.
var TYPE_MISMATCH = [13, 0x80020005 | 0];  // DISP_E_TYPEMISMATCH
var OVERFLOW = [6, 0x8002000A | 0];        // DISP_E_OVERFLOW

var failures = 0, checks = 0;
function fail(what) {
    failures++;
    WScript.Echo("arguments.js: FAILED: " + what);
}
function expect(call, what) {
    checks++;
    try {
        if (!call()) fail(what);
    } catch (e) {
        fail(what + ": raised 0x" + (e.number >>> 0).toString(16) + " " + e.description);
    }
}
function isError(e, expected) {
    if (typeof expected == "number") return e.number === expected;
    return e.number === expected[1] || ((e.number >>> 16) == 0x800A && (e.number & 0xFFFF) == expected[0]);
}
// The call raises `expected`: an HRESULT, or a pair [script error, dispatch status].
function expectError(expected, call, what) {
    checks++;
    try {
        call();
        fail(what + ": raised nothing");
    } catch (e) {
        if (!isError(e, expected)) fail(what + ": expected " + expected + ", got 0x" + (e.number >>> 0).toString(16));
    }
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
var dbFile = fso.BuildPath(fso.GetSpecialFolder(2), "calyra-arguments-js-" + fso.GetTempName() + ".db");
var mgmt = new ActiveXObject("Calyra.PimManagement");
mgmt.OpenPimDatabase(0, "s", "s", dbFile);
var conn = new ActiveXObject("Calyra.PimDbAccess");
conn.OpenPimDatabase(0, "s", "s", dbFile);
var profileId = conn.Execute(0, "INSERT INTO [tProfile] ([ProfileName]) VALUES('js');");
var contactId = conn.Execute(0, "INSERT INTO [tContact] ([ProfileID], [FirstName]) VALUES('1', 'Ann');");
function count(sql) {
    // Without references the row count cannot come back; count through a
    // statement of the connection that fails when nothing matches.
    return conn.Execute(0, "INSERT INTO [tProfile] ([ProfileName]) SELECT 'c' WHERE EXISTS (" + sql + ");");
}

expect(function () { mgmt.SetCurrentProfile(0, 1); return true; }, "SetCurrentProfile(1): a number for the profile ID");
var contacts = mgmt.GetContactAccess(0);
expect(function () { return contacts.GetNumOfContacts(0) == 1; }, "bound to profile 1 chosen by number");
expect(function () { return contacts.ExistContact(0, parseInt(contactId, 10)); }, "ExistContact(number) finds the contact");
expect(function () { return contacts.ExistContact(0, 6 / 6); }, "ExistContact(6 / 6): a whole quotient is the text 1");
expect(function () { return !contacts.ExistContact(0, true); }, "ExistContact(true): a Boolean is a text no ID has");
expect(function () { return !contacts.ExistContact(0, 0.5); }, "ExistContact(0.5)");
expectError(E_INVALIDARG, function () { contacts.ExistContact(0, ""); }, "ExistContact(\"\") raises E_INVALIDARG");
expectError(TYPE_MISMATCH, function () { contacts.ExistContact(0, null); }, "ExistContact(null) is a type mismatch");

var sync = new ActiveXObject("Calyra.SyncOption");
sync.SetPimDbAccess(0, conn);
sync.SetProfileID(0, 1);
for (var t = 2; t <= 6; t++)
    conn.Execute(0, "INSERT INTO [tSyncAlbum] ([ProfileID], [SyncDataType], [SyncAlbumName], [Option]) VALUES('1', '" + t + "', 'a', '0');");
// A profile object of the script's own, reading through the script's connection.
var profiles = new ActiveXObject("Calyra.CProfileAccess");
profiles.SetPimDbAccess(0, conn);
function albums(t) {
    var before = profiles.GetNumOfProfiles(0);
    count("SELECT 1 FROM [tSyncAlbum] WHERE [SyncDataType] = '" + t + "'");
    return profiles.GetNumOfProfiles(0) - before;
}
expect(function () { sync.ClearSyncAlbums(0, "5"); return albums(5) == 0 && albums(4) == 1; }, "ClearSyncAlbums(\"5\")");
expect(function () { sync.ClearSyncAlbums(0, 7 / 2); return albums(4) == 0 && albums(3) == 1; }, "ClearSyncAlbums(7 / 2) rounds half to even: 4");
expect(function () { sync.ClearSyncAlbums(0, 2.5); return albums(2) == 0 && albums(3) == 1; }, "ClearSyncAlbums(2.5) rounds half to even: 2");
expectError(TYPE_MISMATCH, function () { sync.ClearSyncAlbums(0, "abc"); }, "ClearSyncAlbums(\"abc\") is a type mismatch");
expectError(OVERFLOW, function () { sync.ClearSyncAlbums(0, 1e10); }, "ClearSyncAlbums(1e10) overflows");

var events = mgmt.GetEventAccess(0);
expectError(TYPE_MISMATCH, function () { events.GetAllSelectedEvents(0, "not a date", "2010-11-12", 0); },
            "GetAllSelectedEvents(\"not a date\") is a type mismatch");
try {
    events.GetAllSelectedEvents(0, "2010-11-11 10:00:00", "2010-11-12", 0);
    checks++;
} catch (e) {
    if (isError(e, TYPE_MISMATCH)) fail("GetAllSelectedEvents takes date texts");
    else WScript.Echo("arguments.js: NOTE: GetAllSelectedEvents accepted the date texts; its list could not cross apartments (0x" +
                      (e.number >>> 0).toString(16) + ")");
}

// Every class by ProgID, wired to the script's connection, with one call
// that goes through it (a count where the class has one).
var classes = [["ContactGroupAccess", "GetNumOfContactGroups"], ["EventCategoryAccess", "GetNumOfEventCategories"],
               ["EventAccess", "ExistEvent", 5], ["TaskAccess", "GetNumOfTasks"], ["ContactAccess", "GetNumOfContacts"],
               ["SyncOption", "ClearSyncAlbums", 9], ["MostFrequentlyPlayedMusic", "DeleteMfpmEntryByID", 7],
               ["MostFrequentlyPlayedPodcast", "DeleteMfppEntryByID", 7], ["CProfileAccess", "GetNumOfProfiles"]];
for (var i = 0; i < classes.length; i++) {
    (function (name, method, argument) {
        expect(function () {
            var o = new ActiveXObject("Calyra." + name);
            o.SetPimDbAccess(0, conn);
            if (name != "CProfileAccess") o.SetProfileID(0, 1);
            if (argument === undefined) o[method](0);
            else o[method](0, argument);
            return true;
        }, name + " by ProgID, wired with a number for the profile, called through the script's connection");
    })(classes[i][0], classes[i][1], classes[i][2]);
}

contacts = null; sync = null; events = null; profiles = null;
conn.ClosePimDatabase(0);
mgmt.ClosePimDatabase(0);
conn = null; mgmt = null;
CollectGarbage();
try { fso.DeleteFile(dbFile); } catch (e) {}
WScript.Echo("arguments.js: " + checks + " checks, " + failures + " failed");
WScript.Quit(failures);
