DROP TABLE [tAddress];

DROP TABLE [tAlbum];

DROP TABLE [tCall];

DROP TABLE [tContact];

DROP TABLE [tContactGroup];

DROP TABLE [tContactGroupMap];

DROP TABLE [tEmail];

DROP TABLE [tEvent];

DROP TABLE [tEventCategory];

DROP TABLE [tFile];

DROP TABLE [tIM];

DROP TABLE [tMostFrequentlyPlayedMusic];

DROP TABLE [tMostFrequentlyPlayedPodcast];

DROP TABLE [tPhoneNumber];

DROP TABLE [tProfile];

DROP TABLE [tSMS];

DROP TABLE [tSyncAlbum];

DROP TABLE [tSyncOption];

DROP TABLE [tTask];

DROP TABLE [tVer];

DROP TABLE [tWebUrl];

DROP INDEX [IDX_TFILE_1];

DROP INDEX [IDX_TFILE_2];
