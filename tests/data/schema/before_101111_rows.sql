INSERT INTO [tContact] ([ProfileID], [LastName]) VALUES('1', 'Smith');

INSERT INTO [tContact] ([ProfileID], [LastName]) VALUES('1', 'Jones');

INSERT INTO [tTask] ([ProfileID], [Subject]) VALUES('1', 'Pay rent');

INSERT INTO [tAlbum] VALUES(5, 1, 'Music', 'C:\Music', '/sdcard/Music', 'pc-loc', 'dev-loc', '*.mp3', '1', '1', '2010-05-28 10:00:00');

INSERT INTO [tAlbum] VALUES(6, 1, 'Six', 'a', 'b', 'c', 'd', 'e', '0', '6', '2010-05-28 10:00:00');

INSERT INTO [tAlbum] VALUES(7, 1, 'Seven', 'a', 'b', 'c', 'd', 'e', '0', '7', '2010-05-28 10:00:00');

INSERT INTO [tFile] VALUES(12, 5, 'a.mp3', 'a-dev.mp3', 'pc-obj', 'dev-obj', '2010-01-01 00:00:01', '2010-01-02 00:00:02', '2010-01-03 00:00:03', '2010-01-04 00:00:04', '1', '2', '1', '0', '1', '77', '3', '4', '5', '6', '0');

INSERT INTO [tFile] ([FileID], [AlbumID], [NameOnPc]) VALUES(13, 6, 'b.mp3');
