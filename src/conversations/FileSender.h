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

// The sending side of a transfer: the chosen files are packed into one zip
// package in the program's temporary folder, offered to the contact's
// listener (1020), and after its consent (1021) sent as raw bytes behind the
// start (1023), in pieces as the link takes them; the receiver's 1024 says the
// package arrived and was unpacked. A rejection (1022) or a link that ends
// first is a failure. The package never outlives the transfer.
class TFileSender : public TTransferLink {
 public:
  enum class TState { Choosing, Packed, Connecting, Offered, Sending, Sent, Done, Over };

  // The bytes handed to the link at a time: the send queue never holds more.
  static constexpr std::int64_t kChunkBytes = 1 << 20;

  TFileSender(TTransferView& view, TTransferHost host, std::unique_ptr<TParloSocket> socket, std::string tmpFolder);
  ~TFileSender() override;

  void SetTransferKind(TTransferKind kind);
  // The own user name as the offer carries it, and where the peer listens.
  void SetPeer(const std::string& ownUserName, const std::string& user, const std::string& addr,
               const std::string& port);
  // The description as the offer takes it, read when the offer goes out.
  std::function<std::string()> ReadDescription;

  // The package name the user is asked to confirm for several files.
  std::string ProposedPackageName() const { return ownUserName_ + "Files"; }
  // Packs the files into a new package named after `packageName` (its
  // extension becomes ".zip"). Files that are gone are left out; a file that
  // cannot be read fails the packing, which the user hears of. True once a
  // package holds at least one file.
  bool CompressPackage(const std::vector<std::string>& files, const std::string& packageName);
  // Connects and offers the package.
  void Send();

  TTransferKind Kind() const { return kind_; }
  TState State() const { return state_; }
  const std::string& PackageName() const { return packageName_; }
  const std::string& PackagePath() const { return packagePath_; }
  std::uint64_t TotalSize() const { return totalSize_; }
  std::uint64_t FileCount() const { return fileCount_; }
  const std::string& PeerUser() const { return user_; }
  const std::string& PeerAddr() const { return addr_; }

 protected:
  void HandleCommand(int code, const std::string& params) override;
  void RawDataAvailable() override;
  void Discard() override;

 private:
  void SendFileInfo();
  void StartSending();
  void SendFileBytes();
  void BytesSent(int count);
  void AllSent();
  void TransferDone();
  void TransferRejected();
  void DeletePackage();
  void SetState(TState state);

  std::string tmpFolder_;
  TTransferKind kind_ = TTransferKind::Binary;
  std::string ownUserName_, user_, addr_, port_;
  std::string packageName_, packagePath_;
  std::uint64_t totalSize_ = 0, fileCount_ = 0;
  std::uint64_t queued_ = 0, sent_ = 0;
  std::unique_ptr<platform::TOsFile> package_;
  std::vector<char> chunk_;
  TState state_ = TState::Choosing;
};
