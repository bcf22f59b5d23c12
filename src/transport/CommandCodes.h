#pragma once

// The command codes of every link by name, one table for the sending and the
// receiving side. Peer links use 1000-1038, chat rooms 2000-2012 (odd codes from
// a member to the host, even ones back) and the invitation 2020, the directory
// server 9000-9032 (odd codes to the server, even ones from it) and 9100/9101.
namespace cmd {

// ----- peer links -------------------------------------------------------------
inline constexpr int PeerHello = 1000;  // the listener greets every accepted link

inline constexpr int ChatRequest = 1001;    // caller's profile record
inline constexpr int ChatAccepted = 1002;   // callee's profile record
inline constexpr int ChatConfirmed = 1003;
inline constexpr int ChatRefused = 1004;    // with the reason: busy, away or unavailable text
inline constexpr int ChatRejected = 1005;
inline constexpr int ChatText = 1006;
inline constexpr int ChatTyping = 1007;
inline constexpr int ChatSoundEffect = 1008;

inline constexpr int FileOffer = 1020;
inline constexpr int FileAccepted = 1021;
inline constexpr int FileRejected = 1022;
inline constexpr int FileStart = 1023;  // the package's raw bytes follow
inline constexpr int FileReceived = 1024;

inline constexpr int CamViewRequest = 1030;
inline constexpr int CamAdmitted = 1031;
inline constexpr int CamRefused = 1032;  // also a declined broadcast offer
inline constexpr int CamReady = 1033;
inline constexpr int CamFrame = 1034;    // one JPEG picture follows
inline constexpr int CamNotReady = 1035;
inline constexpr int CamPaused = 1036;
inline constexpr int CamInvite = 1037;
inline constexpr int CamOff = 1038;

// ----- chat rooms ---------------------------------------------------------------
inline constexpr int RoomHello = 2000;
inline constexpr int RoomLogon = 2001;
inline constexpr int RoomGreeting = 2002;
inline constexpr int RoomMembers = 2004;
inline constexpr int RoomMembersRequest = 2005;
inline constexpr int RoomJoined = 2006;
inline constexpr int RoomTextIn = 2007;
inline constexpr int RoomLeft = 2008;
inline constexpr int RoomText = 2010;
inline constexpr int RoomSoundIn = 2011;
inline constexpr int RoomSound = 2012;
inline constexpr int RoomInvite = 2020;  // sent over a peer link

// ----- directory server ---------------------------------------------------------------
inline constexpr int ServerHello = 9000;      // the client's address as the server sees it
inline constexpr int Register = 9001;         // password of a new account
inline constexpr int Registered = 9002;       // id and password of the new account
inline constexpr int Logon = 9003;            // id "," password
inline constexpr int ProfileAsked = 9004;
inline constexpr int Profile = 9005;          // the profile record
inline constexpr int FriendsAsked = 9006;
inline constexpr int FriendIds = 9007;        // friend ids joined by ","
inline constexpr int FriendStates = 9008;     // user list
inline constexpr int ListingRequest = 9009;   // group name
inline constexpr int Listing = 9010;          // user list of the group
inline constexpr int MessageOut = 9011;       // message record
inline constexpr int MessageIn = 9012;        // relayed message record
inline constexpr int ListingTaken = 9013;
inline constexpr int LogonDone = 9014;
inline constexpr int Status = 9015;           // status mode
inline constexpr int UserUpdate = 9016;       // one user record
inline constexpr int LogonDoneTaken = 9017;
inline constexpr int RandomFound = 9018;
inline constexpr int RandomRequest = 9019;
inline constexpr int RandomNone = 9020;
inline constexpr int UpdateRequest = 9025;
inline constexpr int UpdateInfo = 9026;
inline constexpr int Pong = 9027;
inline constexpr int Ping = 9028;
inline constexpr int InvalidLogon = 9030;
inline constexpr int KeepAlive = 9031;        // friend ids joined by ","
inline constexpr int FriendsRefresh = 9032;   // user list
inline constexpr int PhotoUpload = 9100;      // the picture's raw bytes follow
inline constexpr int PhotoAnswer = 9101;

inline constexpr int Error = 9999;  // what a sender puts out when a frame fails

}  // namespace cmd
