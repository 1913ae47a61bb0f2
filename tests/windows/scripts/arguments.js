// The component from JScript, by ProgID: JScript passes whole numbers as
// 32-bit integers, other numbers as Doubles, true/false as Booleans, and
// cannot pass a variable by reference (the error ID and out values are
// then values the call drops). Every class is reached and called that way;
// how each kind of argument converts (numeric and date texts, halves,
// overflows) is checked once, from VBScript (arguments.vbs), since both
// engines hand their values to the same Invoke. Run by
// scripts/test-windows.sh:
//
//   cscript //nologo arguments.js
//
// Prints one line per failure and quits with the number of failures.
var E_INVALIDARG = 0x80070057 | 0;
// A dispatch status reaches JScript as itself or as the script error it
// stands for, depending on the engine: either is accepted.
var TYPE_MISMATCH = [13, 0x80020005 | 0];  // DISP_E_TYPEMISMATCH

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
expect(function () { mgmt.SetCurrentProfile(0, 1); return true; }, "SetCurrentProfile(1): a number for the profile ID");
var contacts = mgmt.GetContactAccess(0);
expect(function () { return contacts.GetNumOfContacts(0) == 1; }, "bound to profile 1 chosen by number");
expect(function () { return contacts.ExistContact(0, parseInt(contactId, 10)); }, "ExistContact(number) finds the contact");
expect(function () { return !contacts.ExistContact(0, true); }, "ExistContact(true): a Boolean is a text no ID has");
expect(function () { return !contacts.ExistContact(0, 0.5); }, "ExistContact(0.5)");
expectError(E_INVALIDARG, function () { contacts.ExistContact(0, ""); }, "ExistContact(\"\") raises E_INVALIDARG");
expectError(TYPE_MISMATCH, function () { contacts.ExistContact(0, null); }, "ExistContact(null) is a type mismatch");

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

contacts = null;
conn.ClosePimDatabase(0);
mgmt.ClosePimDatabase(0);
conn = null; mgmt = null;
CollectGarbage();
try { fso.DeleteFile(dbFile); } catch (e) {}
WScript.Echo("arguments.js: " + checks + " checks, " + failures + " failed");
WScript.Quit(failures);
