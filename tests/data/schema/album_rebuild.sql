ALTER TABLE [tAlbum] RENAME TO [tAlbum_Bak];

INSERT INTO [tAlbum] SELECT [AlbumID], [ProfileID], [Name], [PathOnPc], [PathOnDevice], "", [LocationOnPc],[LocationOnDevice], "", [Filter], [Recursive], [Type], [SyncAnchor] FROM [tAlbum_Bak] where([Type]!=6 and [Type]!=7);

DROP TABLE [tAlbum_Bak];

ALTER TABLE [tFile] RENAME TO [tFile_Bak];

INSERT INTO [tFile] SELECT [FileID], [AlbumID], [NameOnPc], [NameOnDevice], "",  [ObjectIDOnPc], [ObjectIDOnDevice],"", [LastModifiredOnPc], [LastModifiedOnDevice], [LastModifiredOnPc], [SyncAnchorOnPc], [SyncAnchorOnDevice], [SyncAnchorOnPc], [ChangeFlagOnPc], [ChangeFlagOnDevice], [ChangeFlagOnPc], [TraversedFlagOnPc], [TraversedFlagOnDevice], [TraversedFlagOnPc], [SyncingFlag], [ItemID], [RepeatNumOnPc], [RepeatNumOnDevice], [RepeatNumOnPc], [LastNumOnPc], [LastNumOnDevice], [LastNumOnPc], [ForbiddenFlag] FROM [tFile_Bak];

DROP TABLE [tFile_Bak];
