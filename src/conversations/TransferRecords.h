#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The three kinds of transfer and the two records of the transfer protocol:
// the offer (1020) and the start (1023) that the raw package follows.
enum class TTransferKind { Binary = 0, Image = 1, Sound = 2 };

// The words that travel on the wire and the texts each kind shows.
struct TTransferKindInfo {
  const char* Word;           // "binary", "image", "sound"
  const char* SelectCaption;  // the sender's select button
  const char* ReadyPrompt;    // the sender's first log line
  const char* OpenCaption;    // the receiver's open button
};

const TTransferKindInfo& KindInfo(TTransferKind kind);
std::optional<TTransferKind> KindFromWord(const std::string& word);

// The largest package either side handles: an archive without 64-bit
// extensions ends below 4 GiB, and no package of ours is larger.
inline constexpr std::uint64_t kMaxPackageBytes = 0xFFFFFFFFu;

// A size or count as the records carry it: decimal digits only, no sign or
// blank, no overflow. Anything else is no number.
std::optional<std::uint64_t> ParseCount(const std::string& text);

// A name from the other side (a user or package name) made into one file-name
// component of our own: no separator, NUL, control character or character that
// would break a frame or a record, never "." or "..", never empty, and at most
// kMaxNameBytes long, so that a peer's name cannot reach outside the folder it
// is put in. Names that are fine stay as they are.
inline constexpr std::size_t kMaxNameBytes = 80;
std::string SafeNameComponent(const std::string& name);

// A file name (the program's 8-bit form) as the logs and messages show it: with
// the disk's separators, and the disk's own characters where the code page
// lacks them, for the windows to show through platform::ShownQString; its
// control characters made '_' as in a received name, whoever chose it.
std::string ShownName(const std::string& name);

// The offer: sender, package name, size, kind and, only when the record has
// exactly five items, the escaped description.
struct TFileOffer {
  std::string Sender, PackageName, Kind, Description;
  std::uint64_t Size = 0;

  std::string Record() const;
  // The parameters of 1020 as the parser hands them over (each "," a line
  // break). Empty when the kind is unknown or the size is not 1 to
  // kMaxPackageBytes: such an offer cannot be taken.
  static std::optional<TFileOffer> Parse(const std::string& parameters);
};

// The start: size, package name, kind and file count.
struct TFileStart {
  std::uint64_t Size = 0;
  std::string PackageName, Kind;
  std::uint64_t FileCount = 0;

  std::string Record() const;
  // Empty when the size or count is no number.
  static std::optional<TFileStart> Parse(const std::string& parameters);
  // The start announces the package that was offered, and nothing else.
  bool Matches(const TFileOffer& offer) const {
    return Size == offer.Size && PackageName == offer.PackageName && Kind == offer.Kind;
  }
};
