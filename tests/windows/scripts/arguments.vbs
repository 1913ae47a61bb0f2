' Every class of the component driven from VBScript by ProgID, with the
' arguments scripts really pass: numbers where an interface takes a text
' ID, Booleans, numeric texts, Doubles from division, fractional numbers,
' date texts. Checks the values that come back and the error numbers
' raised. Run by scripts/test-windows.sh:
'
'   cscript //nologo arguments.vbs
'
' Prints one line per failure and quits with the number of failures.
Option Explicit
On Error Resume Next

Const VBS_INVALID_ARGUMENT = 5 ' E_INVALIDARG, as VBScript raises it
Const VBS_TYPE_MISMATCH = 13   ' DISP_E_TYPEMISMATCH
Const VBS_OVERFLOW = 6         ' DISP_E_OVERFLOW
Const VBS_WRONG_ARGUMENTS = 450 ' DISP_E_BADPARAMCOUNT

Dim failures, checks, errId
failures = 0
checks = 0

Sub Fail(what)
    failures = failures + 1
    WScript.Echo "arguments.vbs: FAILED: " & what
End Sub

' The last call raised nothing; then whether `condition` holds.
Sub Expect(condition, what)
    checks = checks + 1
    If Err.Number <> 0 Then
        Fail what & ": raised 0x" & Hex(Err.Number) & " " & Err.Description
    ElseIf Not condition Then
        Fail what
    End If
    Err.Clear
End Sub

' The last call raised error `number`.
Sub ExpectError(number, what)
    checks = checks + 1
    If Err.Number <> number Then Fail what & ": expected error 0x" & Hex(number) & ", got 0x" & Hex(Err.Number) & " " & Err.Description
    Err.Clear
End Sub

Function Rows(sql)
    Dim r, c, vm
    vm = 0
    conn.Query errId, sql, r, c, vm
    conn.FreeResultset errId, vm
    Rows = r
End Function

Dim fso, dbFile, mgmt, conn
Set fso = CreateObject("Scripting.FileSystemObject")
dbFile = fso.BuildPath(fso.GetSpecialFolder(2), "calyra-arguments-" & fso.GetTempName() & ".db")
errId = 0

Set mgmt = CreateObject("Calyra.PimManagement")
mgmt.OpenPimDatabase errId, "s", "s", dbFile
Expect True, "PimManagement opens " & dbFile
Set conn = CreateObject("Calyra.PimDbAccess")
conn.OpenPimDatabase errId, "s", "s", dbFile
Expect conn.IsOpenPimDatabase(errId), "PimDbAccess opens the same file"

Dim profileId, contactId, taskId
profileId = conn.Execute(errId, "INSERT INTO [tProfile] ([ProfileName]) VALUES('script');")
Expect profileId = "1", "a new profile's ID is the text 1"
contactId = conn.Execute(errId, "INSERT INTO [tContact] ([ProfileID], [FirstName]) VALUES('1', 'Ann');")
Expect contactId <> "", "a contact added through the connection"
taskId = conn.Execute(errId, "INSERT INTO [tTask] ([ProfileID], [Subject]) VALUES('1', 'Call');")
Expect taskId <> "", "a task added through the connection"

' ---- Numbers where a text ID is taken ------------------------------------------
mgmt.SetCurrentProfile errId, 1
Expect True, "SetCurrentProfile(1): a number for the profile ID"
Dim contacts
Set contacts = mgmt.GetContactAccess(errId)
Expect contacts.GetNumOfContacts(errId) = 1, "access objects are bound to profile 1 chosen by number"
Expect contacts.ExistContact(errId, CLng(contactId)), "ExistContact(" & contactId & ") finds the contact by number"
Expect contacts.ExistContact(errId, 3 / 3), "ExistContact(3 / 3): a Double from division is the text 1"
Expect Not contacts.ExistContact(errId, True), "ExistContact(True): a Boolean is a text no ID has"
contacts.ExistContact errId, ""
ExpectError VBS_INVALID_ARGUMENT, "ExistContact("""") raises E_INVALIDARG"
Expect errId = &H5002, "ExistContact("""") sets the error ID 0x5002"
errId = 0
contacts.ExistContact errId, Null
ExpectError VBS_TYPE_MISMATCH, "ExistContact(Null) is a type mismatch"
contacts.ExistContact errId
ExpectError VBS_WRONG_ARGUMENTS, "ExistContact without its ID"

Dim tasks
Set tasks = mgmt.GetTaskAccess(errId)
Expect tasks.ExistTask(errId, CLng(taskId)), "ExistTask by number"
tasks.DeleteTaskByID errId, CLng(taskId)
Expect Not tasks.ExistTask(errId, taskId), "DeleteTaskByID(" & taskId & ") deletes the task given by number"

' ---- Numeric texts, Doubles and fractions where a number is taken --------------
' One of each kind and VBScript's error numbers; every conversion is in the
' table of tests/platform/variant_change_type_test.cpp, also run under Wine.
Dim sync
Set sync = CreateObject("Calyra.SyncOption")
sync.SetPimDbAccess errId, conn
sync.SetProfileID errId, 1
Expect True, "SyncOption wired to the script's connection and profile 1"
Sub AddAlbums()
    Dim t
    For t = 2 To 6
        conn.Execute errId, "INSERT INTO [tSyncAlbum] ([ProfileID], [SyncDataType], [SyncAlbumName], [Option]) " & _
            "VALUES('1', '" & t & "', 'a', '0');"
    Next
End Sub
Function AlbumsOfType(t)
    AlbumsOfType = Rows("SELECT * FROM [tSyncAlbum] WHERE [SyncDataType] = '" & t & "';")
End Function
AddAlbums
sync.ClearSyncAlbums errId, "5"
Expect AlbumsOfType(5) = 0 And AlbumsOfType(4) = 1, "ClearSyncAlbums(""5""): a numeric text is the number 5"
sync.ClearSyncAlbums errId, 2.5
Expect AlbumsOfType(2) = 0 And AlbumsOfType(3) = 1, "ClearSyncAlbums(2.5) rounds half to even: 2"
sync.ClearSyncAlbums errId, "abc"
ExpectError VBS_TYPE_MISMATCH, "ClearSyncAlbums(""abc"") is a type mismatch"
sync.ClearSyncAlbums errId, 1E+10
ExpectError VBS_OVERFLOW, "ClearSyncAlbums(1E+10) overflows"

' ---- Date texts where a date is taken ---------------------------------------------
Dim events, n, list
Set events = mgmt.GetEventAccess(errId)
Expect Not events.ExistEvent(errId, 5), "ExistEvent(5)"
list = events.GetAllSelectedEvents(errId, "2010-11-11 10:00:00", "2010-11-12", n)
If Err.Number = VBS_TYPE_MISMATCH Then
    ExpectError 0, "GetAllSelectedEvents takes date texts"
ElseIf Err.Number <> 0 Then
    ' The list is a safe array of records, which Wine 8 cannot carry from
    ' the object's apartment to the script's (LPSAFEARRAY_UserSize is a stub).
    WScript.Echo "arguments.vbs: NOTE: GetAllSelectedEvents accepted the date texts; its list could not cross " & _
        "apartments (0x" & Hex(Err.Number) & ")"
    Err.Clear
Else
    Expect n = 0, "GetAllSelectedEvents(date texts) lists no events"
End If
events.GetAllSelectedEvents errId, "not a date", "2010-11-12", n
ExpectError VBS_TYPE_MISMATCH, "GetAllSelectedEvents(""not a date"") is a type mismatch"

' ---- Every class by ProgID ------------------------------------------------------------
Dim progIds, progId, obj
progIds = Array("ContactGroupAccess", "EventCategoryAccess", "EventAccess", "TaskAccess", "ContactAccess", _
    "SyncOption", "MostFrequentlyPlayedMusic", "MostFrequentlyPlayedPodcast", "CProfileAccess")
For Each progId In progIds
    Set obj = CreateObject("Calyra." & progId)
    Expect True, "CreateObject(""Calyra." & progId & """)"
    obj.SetPimDbAccess errId, conn
    Expect True, progId & ".SetPimDbAccess"
    If progId <> "CProfileAccess" Then
        obj.SetProfileID errId, 1
        Expect True, progId & ".SetProfileID(1)"
    End If
    Set obj = Nothing
Next

Dim groups, categories, profiles, music, podcast
Set groups = CreateObject("Calyra.ContactGroupAccess")
groups.SetPimDbAccess errId, conn
groups.SetProfileID errId, 1
Expect groups.GetNumOfContactGroups(errId) = 0, "ContactGroupAccess counts no groups"
groups.DeleteContactGroupByID errId, 7
Expect True, "DeleteContactGroupByID(7)"
contacts.AddContactToContactGroup errId, CLng(contactId), 7, 1
Expect True, "AddContactToContactGroup(number, number, 1): a number for the flag"

Set categories = mgmt.GetEventCategoryAccess(errId)
Expect categories.GetNumOfEventCategories(errId) >= 0, "EventCategoryAccess counts its categories"
categories.DeleteEventCategoryByID errId, 42
Expect True, "DeleteEventCategoryByID(42)"

' A profile object the script creates reads its rows through the script's
' own connection, which reaches it as the connection itself, not a proxy.
Set profiles = CreateObject("Calyra.CProfileAccess")
profiles.SetPimDbAccess errId, conn
Expect profiles.GetNumOfProfiles(errId) = 1, "CProfileAccess counts the one profile"
Expect mgmt.GetProfileAccess(errId).GetNumOfProfiles(errId) = 1, "the management object's profile object agrees"
profiles.DeleteProfileByID errId, 99
Expect profiles.GetNumOfProfiles(errId) = 1, "DeleteProfileByID(99) deletes nothing"

Set music = CreateObject("Calyra.MostFrequentlyPlayedMusic")
music.SetPimDbAccess errId, conn
music.SetProfileID errId, 1
music.DeleteMfpmEntryByID errId, 7
Expect True, "DeleteMfpmEntryByID(7)"
list = music.GetMostFrequentlyPlayedMusics(errId, "5", n)
Expect n = 0, "GetMostFrequentlyPlayedMusics(""5"") lists nothing"

Set podcast = CreateObject("Calyra.MostFrequentlyPlayedPodcast")
podcast.SetPimDbAccess errId, conn
podcast.SetProfileID errId, 1
podcast.DeleteMfppEntryByID errId, 7
Expect True, "DeleteMfppEntryByID(7)"
list = podcast.GetMostFrequentlyPlayedPodcasts(errId, 10 / 4, n)
Expect n = 0, "GetMostFrequentlyPlayedPodcasts(10 / 4) lists nothing"
Set podcast = mgmt.GetMostFrequentlyPlayedPodcast(errId)
podcast.DeleteMfppEntryByID errId, 7
Expect True, "the management object's podcast object, used through its apartment's proxy"

Set podcast = Nothing
Set music = Nothing
Set profiles = Nothing
Set categories = Nothing
Set groups = Nothing
Set events = Nothing
Set sync = Nothing
Set tasks = Nothing
Set contacts = Nothing
conn.ClosePimDatabase errId
Set conn = Nothing
mgmt.ClosePimDatabase errId
Set mgmt = Nothing
fso.DeleteFile dbFile
Err.Clear

WScript.Echo "arguments.vbs: " & checks & " checks, " & failures & " failed"
WScript.Quit failures
