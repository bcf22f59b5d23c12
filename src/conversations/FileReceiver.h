#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversations/TransferLink.h"
#include "conversations/TransferRecords.h"

namespace platform {
class TOsFile;
}

// Where received files go: the folders of the three kinds, each holding one
// folder per sender, and the folder the package waits in while it arrives.
struct TReceiveFolders {
  std::string Files, Images, Sounds, Tmp;  // 8-bit names ending in a separator
  const std::string& Of(TTransferKind kind) const;
};

// The receiving side of a transfer, on a link the peer listener accepted with
// an offer (1020). The user accepts (1021) or rejects (1022); after the
// start (1023), which must announce the very package offered, exactly its
// size in raw bytes is written to a new package file, unpacked flat into the
// sender's folder of its kind, and deleted. 1024 tells the sender that the
// package was read: something was unpacked, or the user kept every file that
// was there already, in which case the package stays in that folder. A
// package nothing could be unpacked from (unreadable, or every entry it
// offered damaged) stays there too, unacknowledged. A link that ends before
// the package is whole leaves no package behind.
class TFileReceiver : public TTransferLink {
 public:
  enum class TState { Offered, Accepted, Receiving, Unpacking, Done, Over };

  // The most read from the link in one data event: the status and the bar
  // move in steps of this many bytes.
  static constexpr int kReadBytes = 2047;

  TFileReceiver(TTransferView& view, TTransferHost host, std::unique_ptr<TParloSocket> socket, TFileOffer offer,
                TReceiveFolders folders);
  ~TFileReceiver() override;

  // Whether an unpacked file may replace one of the same name (file name only).
  std::function<bool(const std::string& fileName)> AskOverwrite;

  // The offer is shown: the user hears of it.
  void Start();
  // The user accepted: 1021.
  void SendAuthorization();
  void Reject();

  const TFileOffer& Offer() const { return offer_; }
  TTransferKind Kind() const { return kind_; }
  TState State() const { return state_; }
  const std::string& PeerIp() const { return peerIp_; }
  // The sender's folder of the offer's kind.
  const std::string& TargetFolder() const { return targetFolder_; }
  // Full names of the files unpacked, in the order they were written.
  const std::vector<std::string>& Unpacked() const { return unpacked_; }

 protected:
  void HandleCommand(int code, const std::string& params) override;
  void RawDataAvailable() override;
  void Discard() override;

 private:
  void BeginReceive(const std::string& params);
  // The kind decides the sender's folder, made here; false when it cannot be used.
  bool SetKind(TTransferKind kind);
  void WriteReceived(const char* bytes, int length);
  void PackageComplete();
  // The number of files unpacked; -1 once the transfer is over (the package
  // could not be read, or the window went meanwhile).
  int UnpackPackage();
  bool KeepPackage();
  void DeletePackage();
  void SetState(TState state);

  TFileOffer offer_;
  TReceiveFolders folders_;
  TTransferKind kind_;
  std::string peerIp_, targetFolder_, packagePath_;
  std::uint64_t expected_ = 0, received_ = 0;
  std::unique_ptr<platform::TOsFile> package_;
  std::vector<char> buffer_;
  std::vector<std::string> unpacked_;
  TState state_ = TState::Offered;
  bool allDeclined_ = false;  // the last unpacking wrote nothing, by the user's choice
};
