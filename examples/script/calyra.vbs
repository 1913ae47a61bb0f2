' A scripting client of the Calyra component, for Windows Script Host:
'
'   cscript //nologo calyra.vbs
'
' It creates the management object by its ProgID, opens a new database in
' the temporary folder, adds a profile through a connection's Execute and
' lists the profiles, counts the profile's contacts, and closes the file.
' Scripts reach the component through automation dispatch; records (a
' contact, a profile) cannot travel to VBScript, so a script works with
' texts, numbers and the objects themselves. Every call takes the error ID
' first and raises an error on failure; the script then stops with exit
' code 1, naming the call.
Option Explicit
On Error Resume Next

Dim fso, dbFile, errId, mgmt, conn, profiles, contacts, profileId, rows, cols, vm

Sub Check(what)
    If Err.Number <> 0 Then
        WScript.Echo "calyra.vbs: " & what & " failed: 0x" & Hex(Err.Number) & _
            " (error ID 0x" & Hex(errId) & ") " & Err.Description
        WScript.Quit 1
    End If
    WScript.Echo what
End Sub

Sub Expect(condition, what)
    If Not condition Then
        WScript.Echo "calyra.vbs: " & what
        WScript.Quit 1
    End If
End Sub

Set fso = CreateObject("Scripting.FileSystemObject")
dbFile = fso.BuildPath(fso.GetSpecialFolder(2), "calyra-script-" & fso.GetTempName() & ".db")
errId = 0

Set mgmt = CreateObject("Calyra.PimManagement")
Check "created Calyra.PimManagement"
mgmt.OpenPimDatabase errId, "script", "script", dbFile
Check "opened the new database " & dbFile
Expect mgmt.IsOpenPimDatabase(errId), "the database is not open after OpenPimDatabase"

' A connection of its own on the same file, for statements of the script's.
Set conn = CreateObject("Calyra.PimDbAccess")
Check "created Calyra.PimDbAccess"
conn.OpenPimDatabase errId, "script", "script", dbFile
Check "opened a connection"
profileId = conn.Execute(errId, "INSERT INTO [tProfile] ([IMEI], [SN], [HXRID], [Model], [ProfileName]) " & _
    "VALUES('356938035643809', 'SN-1', '', 'Script phone', 'From VBScript');")
Check "added a profile with ID " & profileId

vm = 0
conn.Query errId, "SELECT [ProfileID], [ProfileName] FROM [tProfile];", rows, cols, vm
Check "listed the profiles: " & rows & " row(s) of " & cols & " column(s)"
conn.FreeResultset errId, vm
Check "freed the result set"

Set profiles = mgmt.GetProfileAccess(errId)
Check "got the profile access object"
Expect profiles.GetNumOfProfiles(errId) = 1, "the profile list does not hold the profile just added"
Check "the profile access object counts 1 profile"

mgmt.SetCurrentProfile errId, profileId
Check "chose profile " & profileId
Set contacts = mgmt.GetContactAccess(errId)
Check "got the contact access object"
Expect contacts.GetNumOfContacts(errId) = 0, "a new profile has contacts"
Check "profile " & profileId & " has " & contacts.GetNumOfContacts(errId) & " contacts"

Set contacts = Nothing
Set profiles = Nothing
conn.ClosePimDatabase errId
Set conn = Nothing
mgmt.ClosePimDatabase errId
Check "closed the database"
Set mgmt = Nothing
fso.DeleteFile dbFile
WScript.Echo "done"
