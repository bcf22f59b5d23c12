#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Jpeg.h"

// Every bound a stranger meets, in one place. Another program can open
// connections, ask questions, open windows and send text far faster than
// anyone answers; each thing it can make this program hold is counted per
// address, so that one caller cannot take every place, and in all, so that
// many callers together cannot either. Past a bound the request gets the
// answer the protocol has for "not now" at once, and nothing is held for it.
namespace peerbounds {

// ----- the peer listener ----------------------------------------------------------
// Callers that have been greeted and have not yet said what they want, and
// for how long they may stay silent. Each holds a descriptor; a request
// that waits on the user no longer counts here (it has its own places below).
// When they are all taken, a newcomer is still greeted: the caller that has
// waited longest at the address holding the most places is let go for it,
// so that callers who never speak cannot shut out those who would.
inline constexpr int kWaitingCallers = 64;
inline constexpr int kWaitingCallersPerAddress = 8;
inline constexpr int kSilentCallerMs = 30000;

// ----- questions put to the user --------------------------------------------------
// Each answers itself after its own time (the chat request after the busy
// timer, the cam questions after kCamQuestionMs, as "no"), whatever else is
// open meanwhile. A question that stays after its caller has gone gives way
// to a newcomer (TWaitingPlaces). Past these many at once, each caller still
// there, the request is refused at once: a chat request with 1004 and the
// busy message, a cam request or offer with 1032.
inline constexpr int kChatRequestQuestions = 8;
inline constexpr int kChatRequestQuestionsPerAddress = 2;
inline constexpr int kAllowViewerQuestions = 4;  // "Allow Viewer?"
inline constexpr int kAllowViewerQuestionsPerAddress = 1;
inline constexpr int kCamOfferQuestions = 2;  // "View Cam?"
inline constexpr int kCamOfferQuestionsPerAddress = 1;
inline constexpr int kCamQuestionMs = 30000;
// A request from a user on the friends list waits in places of its own, so
// that strangers who keep asking cannot shut friends out. A record can claim
// any user id: only a caller at the address the directory server last gave
// for that friend takes these places, and they are bounded per address all
// the same. A cam offer names no user id: it is a friend's when it comes from
// the address and names the listen port the server last gave for a friend.
inline constexpr int kFriendChatRequestQuestions = 8;
inline constexpr int kFriendChatRequestQuestionsPerAddress = 2;
inline constexpr int kFriendCamOfferQuestions = 2;
inline constexpr int kFriendCamOfferQuestionsPerAddress = 1;

// ----- windows that wait on the user ------------------------------------------------
// A file offer, a room invitation, a chat accepted without a question: each
// holds a window (most a connection too) until the user answers. No one
// sends more than a few before the first is answered. Chats a friend's
// request opened are counted apart from strangers', each against these bounds.
// An offer whose sender has gone, or a chat whose caller left, stays on
// screen until the user answers or closes it; its place, only until a
// newcomer needs it (UnansweredRequests.h).
inline constexpr int kUnansweredPerAddress = 8;
inline constexpr int kUnansweredInAll = 16;

// ----- relayed messages ----------------------------------------------------------
// They come through the directory server, so they are counted by sender, not
// by address. Message windows that open by themselves for what arrives (each
// costs about a megabyte and its share of the one thread): past them a message
// waits and is announced. What waits ("incoming.msg"): messages in all, from
// one sender, and their bytes; a store read at start-up is cut to the same.
// Past a bound in all a stranger's message is not kept; a friend's (counted as
// a chat request's caller is, by the address in its record) is kept all the
// same, in place of strangers' messages: those of the stranger with the most
// waiting go first, newest first. A friend's messages stay within the bound
// from one sender.
inline constexpr int kMessageWindows = 32;
inline constexpr int kWaitingMessages = 2000;
inline constexpr int kWaitingMessagesPerSender = 200;
inline constexpr std::size_t kWaitingMessageBytes = std::size_t{8} << 20;

// ----- what a window shows of a peer's text -------------------------------------------
// Names, room and file names, profile fields in a label; and the longer
// texts (a request's message, a description) where a label shows them.
inline constexpr std::size_t kShownName = 64;
inline constexpr std::size_t kShownText = 512;

// ----- transcripts --------------------------------------------------------------------
// What a conversation window keeps on screen (the history file keeps all):
// messages, and the bytes the control holds for them (TTranscriptBound counts
// each character, picture and line at its cost). Every window that waits for
// an answer may hold this much, kUnansweredInAll of them at once.
inline constexpr int kTranscriptMessages = 10000;
inline constexpr std::int64_t kTranscriptBytes = std::int64_t{8} << 20;
// The system lines above a transcript (joins, leaves, sounds).
inline constexpr int kSystemLines = 1000;

// ----- pictures from others ----------------------------------------------------------
// What decoding a broadcaster's JPEG may cost, in nanoseconds of one core,
// counted from its header and each scan's header before the scan is decoded
// (measured on libjpeg-turbo and rounded up, so that no picture takes longer
// than it is counted): making its rows, each byte of coded data, each scan,
// and each pass a scan makes over a block. A Huffman-coded pass costs about
// the same whatever the block holds, as each step of the decoder takes a bit
// or more. An arithmetic-coded one can take a few steps for every
// coefficient of its band from no data at all, and some thirty for each
// coefficient whose value it decodes whole: unbounded, a picture of a few
// hundred bytes holds the decoder for seconds. The bound admits what a
// camera or an ordinary encoder makes of the largest picture a viewer takes,
// baseline or progressive, of as many bytes as a picture may have.
inline constexpr std::int64_t kPictureDecodeNs = 80'000'000;
inline constexpr std::int64_t kPicturePixelNs = 6;  // three full components, from stored coefficients
inline constexpr std::int64_t kPictureByteNs = 20;
inline constexpr std::int64_t kScanNs = 1000;
inline constexpr std::int64_t kHuffmanBlockNs = 50;
inline constexpr std::int64_t kArithmeticBlockNs = 40;
inline constexpr std::int64_t kArithmeticCoefficientNs = 100;
inline constexpr std::int64_t kArithmeticRefinedCoefficientNs = 10;

// The scans of a JPEG that another decoder shows, counted by their markers
// (a picture file the user opens): a picture may have the scans that 32
// million pixels of passes allow, but never fewer than encoders write (ten,
// as a rule) nor more than a hundred.
inline constexpr std::int64_t kPictureScanPixels = 32'000'000;
inline constexpr int kPictureScansLeast = 12;
inline constexpr int kPictureScansMost = 100;
// The scans a picture of that many pixels may have.
int PictureScans(std::int64_t pixels);

// ----- a hosted room ------------------------------------------------------------------
// Members from one address, and what is queued for members who do not read
// (relays, list answers, any frame) over all their links (each link on its
// own has the socket's send bound). The system holds a little more for each
// member, out of that count: kept small, nearly all of it waits where the
// bound sees it.
inline constexpr int kRoomMembersPerAddress = 8;
inline constexpr std::int64_t kRoomQueuedBytes = std::int64_t{32} << 20;
inline constexpr int kRoomSystemSendBytes = 64 << 10;
// Connections to the room's port at once, logged on or not: the room's share
// of the program's descriptors. With the peer listener's places above it
// stays far within the 1,024 descriptors a desktop usually gives a program,
// less what the socket layer keeps for the program's own files, so that
// callers of one port can never take the other's. A connection that has not
// logged on within kRoomLogonMs goes (a member logs on as soon as it is
// greeted; a member that has is closed only after minutes of silence). When
// the places are all taken, a newcomer is still greeted: the connection that
// has waited longest without logging on, at the address holding the most
// places (at its own address, when that one is full), is let go for it.
// Callers the room turns away or lets go are reset: a graceful close would
// keep a descriptor waiting for a peer that may never hang up.
inline constexpr int kRoomConnections = 256;
inline constexpr int kRoomLogonMs = 15000;

// ----- a room hosted elsewhere ----------------------------------------------------------
// The member list a member's window keeps: no more rows than a room of ours
// can have, and no more than kRoomListBytes of what they cost, each row
// counted at kRoomRowBytes (about what its place in the list and its item in
// the window hold) plus the bytes of its fields. Past either bound a join is
// not listed, nor are the rest of a whole list's records: so a list costs the
// window at most that many rows to show, however many the host sends. The
// rows go when the link to the room ends.
inline constexpr int kRoomRows = kRoomConnections + 1;
inline constexpr std::int64_t kRoomListBytes = std::int64_t{4} << 20;
inline constexpr std::int64_t kRoomRowBytes = 1024;

}  // namespace peerbounds

// `text` as a window may show it: at most `limit` bytes, the rest given as
// "...". Never cuts a CR LF in two.
std::string CutPeerText(const std::string& text, std::size_t limit);

// What decoding one picture costs so far, counted scan by scan.
class TPictureCost {
 public:
  // A picture of `pixels` held in `bytes`.
  TPictureCost(std::int64_t pixels, std::size_t bytes);
  // Counts one more scan; false once the picture costs more than
  // kPictureDecodeNs.
  bool AddScan(const platform::TJpegScan& scan);
  std::int64_t Ns() const { return ns_; }

 private:
  std::int64_t ns_;
};

// Places for what waits on the user, counted per address and in all. A place
// is given back when its holder goes; the count may go before its places.
//
// A question that stays after its request's link has closed keeps its place
// only until a newcomer needs it: when a bound is reached, the oldest place
// counting toward it whose link has closed gives way (its question is
// withdrawn), so that callers who ask and hang up at once cannot shut out
// those who stay. Only places whose links are all still open refuse a newcomer.
class TWaitingPlaces {
  struct Held {
    std::uint64_t id = 0;
    std::string address;
    std::function<void()> withdraw;  // set once the link has closed
  };
  struct Counts {
    int inAll = 0, perAddress = 0;
    std::uint64_t lastId = 0;
    std::vector<Held> held;  // in the order taken
    bool Full(const std::string& address, bool ofAddress) const;
  };

 public:
  class TPlace {
   public:
    TPlace() = default;
    TPlace(TPlace&& other) noexcept = default;
    TPlace& operator=(TPlace&& other) noexcept;
    ~TPlace() { GiveBack(); }
    explicit operator bool() const { return !counts_.expired(); }
    // The request's link has closed and its question stays: `withdraw`
    // withdraws the question and gives this place back, when a newcomer
    // needs it.
    void LinkClosed(std::function<void()> withdraw);

   private:
    friend class TWaitingPlaces;
    TPlace(const std::shared_ptr<Counts>& counts, std::uint64_t id) : counts_(counts), id_(id) {}
    void GiveBack();
    std::weak_ptr<Counts> counts_;
    std::uint64_t id_ = 0;
  };

  TWaitingPlaces(int inAll, int perAddress);
  // A place for `address`, perhaps after another gave way; an empty one when
  // a bound is reached and every place counting toward it has its link open.
  TPlace Take(const std::string& address);
  int Taken() const { return static_cast<int>(counts_->held.size()); }

 private:
  std::shared_ptr<Counts> counts_ = std::make_shared<Counts>();
};
