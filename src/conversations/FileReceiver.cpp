#include "conversations/FileReceiver.h"

#include <algorithm>

#include "core/session/TestHooks.h"
#include "platform/DosFiles.h"
#include "platform/FileNames.h"
#include "transport/CommandCodes.h"
#include "zip/ZipReader.h"

namespace {

const TLinkTexts kReceiverTexts = {
    "Connection established...waiting for data...",
    {"Socket State: Invalid...", "Socket State: Opened...", "Socket State: Bound...", "Socket State: Connecting...",
     "Socket State: Connected...", "Socket State: Accepting...", "Socket State: Listening..."},
    "Socket State: Connection Closed...",
    "Incoming Transfer ProcessCommand",
};

std::string Folder(const std::string& name) { return name.empty() ? name : name.substr(0, name.size() - 1); }

}  // namespace

const std::string& TReceiveFolders::Of(TTransferKind kind) const {
  switch (kind) {
    case TTransferKind::Image:
      return Images;
    case TTransferKind::Sound:
      return Sounds;
    default:
      return Files;
  }
}

TFileReceiver::TFileReceiver(TTransferView& view, TTransferHost host, std::unique_ptr<TParloSocket> socket,
                             TFileOffer offer, TReceiveFolders folders)
    : TTransferLink(view, std::move(host), std::move(socket), kReceiverTexts),
      offer_(std::move(offer)),
      folders_(std::move(folders)),
      kind_(KindFromWord(offer_.Kind).value_or(TTransferKind::Binary)) {
  NotePeer();
  peerIp_ = socket_->PeerAddr();
}

TFileReceiver::~TFileReceiver() {
  Close();
  DeletePackage();
}

void TFileReceiver::SetState(TState state) {
  state_ = state;
  view_->StateChanged();
}

void TFileReceiver::Start() {
  view_->AddLog("Waiting for your authorization...");
  PlayEventSound(kOfferSound);
}

void TFileReceiver::SendAuthorization() {
  if (state_ != TState::Offered) return;
  // Accepted after the sender left: nothing can come any more.
  if (!Connected()) {
    SetState(TState::Over);
    return;
  }
  view_->AddLog("Sending authorization...");
  SetState(TState::Accepted);
  socket_->SendCommand(cmd::FileAccepted, "", "");
}

void TFileReceiver::Reject() {
  if (state_ != TState::Offered) return;
  if (Connected()) {
    view_->AddLog("Sending Rejection...");
    socket_->SendCommand(cmd::FileRejected, "", "");
  }
  SetState(TState::Over);
  Fail("Transfer rejected...");
}

// ----- the link ------------------------------------------------------------------------------

void TFileReceiver::HandleCommand(int code, const std::string& params) {
  if (code != cmd::FileStart) return;
  switch (state_) {
    case TState::Accepted:
      view_->AddLog("Starting Transfer...");
      BeginReceive(params);
      break;
    case TState::Offered:
      // Bytes the user never agreed to take: none of them is written.
      SetState(TState::Over);
      Fail("Transfer failed: the sender started before the offer was accepted...");
      break;
    default:
      break;
  }
}

void TFileReceiver::BeginReceive(const std::string& params) {
  const auto start = TFileStart::Parse(params);
  if (!start || !start->Matches(offer_)) {
    SetState(TState::Over);
    Fail("Transfer failed: the start did not announce the package offered...");
    return;
  }
  if (!SetKind(KindFromWord(start->Kind).value_or(kind_))) {
    LogException("Receiving a package: the folder " + targetFolder_ + " cannot be used");
    SetState(TState::Over);
    Fail("Transfer failed: the folder " + ShownName(targetFolder_) + " cannot be used...");
    return;
  }
  // The package waits under a name of its own, created afresh: it can meet
  // no earlier file, and no file it holds can meet it.
  package_ = std::make_unique<platform::TOsFile>();
  const std::string prefix = SafeNameComponent(platform::ChangeFileExt(offer_.PackageName, "")) + "-";
  if (!package_->CreateTemp(folders_.Tmp, prefix, packagePath_)) {
    LogException("Receiving a package: " + package_->LastError());
    package_.reset();
    SetState(TState::Over);
    Fail("Transfer failed: the package cannot be stored...");
    return;
  }
  switch (kind_) {
    case TTransferKind::Binary:
      view_->AddLog("Receiving file package, file count[" + std::to_string(start->FileCount) + "] ...");
      break;
    case TTransferKind::Image:
      view_->AddLog("Receiving image file...");
      break;
    case TTransferKind::Sound:
      view_->AddLog("Receiving sound file...");
      break;
  }
  expected_ = start->Size;
  received_ = 0;
  buffer_.resize(static_cast<std::size_t>(kReadBytes));
  SetState(TState::Receiving);
  socket_->SetLineMode(false);
}

bool TFileReceiver::SetKind(TTransferKind kind) {
  kind_ = kind;
  // The sender's name as it came may hold anything: the folder is one plain
  // component of it, inside the folder of the kind.
  targetFolder_ =
      platform::IncludeTrailingPathDelimiter(folders_.Of(kind_)) + SafeNameComponent(offer_.Sender) + "\\";
  const std::string folder = Folder(targetFolder_);
  if (!platform::IsSymLink(folder)) platform::ForceDirectories(folder);
  // A link in its place could lead anywhere: only a real folder will do.
  return platform::DirExists(folder) && !platform::IsSymLink(folder);
}

void TFileReceiver::RawDataAvailable() {
  if (state_ != TState::Receiving) {
    char sink[4096];
    socket_->Receive(sink, sizeof sink);
    return;
  }
  // Exactly the announced size is read: what follows it is no part of the package.
  const auto want = static_cast<int>(std::min<std::uint64_t>(expected_ - received_, buffer_.size()));
  const int n = socket_->Receive(buffer_.data(), want);
  if (n > 0) WriteReceived(buffer_.data(), n);
}

void TFileReceiver::WriteReceived(const char* bytes, int length) {
  if (package_->Write(bytes, length) != length) {
    LogException("Receiving a package: " + package_->LastError());
    SetState(TState::Over);
    Fail("Transfer failed: the package could not be written...");
    return;
  }
  received_ += static_cast<std::uint64_t>(length);
  view_->SetProgress(received_, expected_);
  view_->SetStatus("Received... " + std::to_string(received_) + " of " + std::to_string(expected_) + " bytes");
  if (received_ == expected_) PackageComplete();
}

void TFileReceiver::PackageComplete() {
  socket_->SetLineMode(true);
  package_.reset();
  view_->SetProgress(0, 0);
  view_->AddLog("Transfer Complete...");
  testhooks::Trace("transfer complete");
  SetState(TState::Unpacking);
  const int count = UnpackPackage();
  if (count < 0) return;
  if (count == 0 && !allDeclined_) {
    // The user may still look at what came; the sender is not told it arrived.
    const bool kept = KeepPackage();
    SetState(TState::Over);
    Fail(kept ? "Transfer failed: nothing could be unpacked, the package was kept in " +
                    ShownName(targetFolder_) + "..."
              : "Transfer failed: nothing could be unpacked...");
    return;
  }
  if (count > 0) {
    DeletePackage();
  } else {
    // The user kept every file he had: the transfer itself went well.
    KeepPackage();
    view_->AddLog("Nothing new was written: every file of the package is here already and was kept...");
  }
  // The sender may have gone while the package was unpacked: the files are
  // here all the same, only the acknowledgement cannot go.
  if (Connected()) socket_->SendCommand(cmd::FileReceived, "", "");
  SetState(TState::Done);
  Succeed();
  if (Connected()) socket_->Close();
  PlayEventSound(kDoneSound);
}

int TFileReceiver::UnpackPackage() {
  zip::TZipReader unzip;
  unzip.ReplaceReadOnly = true;
  unzip.RecreateDirs = false;
  unzip.SetZipName(packagePath_);
  unzip.SetDestDir(Folder(targetFolder_));
  unzip.DoAll = true;
  unzip.OnStartUnZip = [this](zip::TZipReader*, int, std::string& name, bool&) {
    view_->AddLogLine("Decompressing File: " + ShownName(platform::ExtractFileName(name)));
  };
  unzip.OnEndUnZip = [this](zip::TZipReader* reader, int index, const std::string& name) {
    view_->AddLogLine("Decompressed File: " + ShownName(name) +
                      "  Size: " + std::to_string(reader->UnCompressedSize(index)));
    unpacked_.push_back(name);
  };
  unzip.OnUnZipComplete = [this](zip::TZipReader*, int count) {
    view_->AddLogLine("Total of " + std::to_string(count) + " file(s) decompressed");
  };
  unzip.OnPromptForOverwrite = [this](zip::TZipReader*, bool& overwrite, int, std::string& name) {
    overwrite = AskOverwrite && AskOverwrite(ShownName(platform::ExtractFileName(name)));
  };

  // Whether nothing came out only because the user said no to every file
  // that was there already, with the package read whole.
  int declined = 0;
  bool read = false, troubled = false;
  unzip.OnSkippingFile = [&](zip::TZipReader*, zip::TSkipReason reason, const std::string&, int, bool&) {
    if (reason == zip::srNoOverwrite) ++declined;
    else troubled = true;
  };
  unzip.OnBadCRC = [&](zip::TZipReader*, std::uint32_t, std::uint32_t, int) { troubled = true; };
  // Deflate makes at most 1,032 bytes of one: a package whose entries say they
  // hold more than that of its size lies, and would fill the disk before its
  // checks fail. (Each byte belongs to one entry at most: the reader sees to it.)
  constexpr double kMostUnpackedPerByte = 1032;
  const double packageBytes = static_cast<double>(platform::FileSizeOf(packagePath_).value_or(0));
  unzip.OnStartUnZipInfo = [packageBytes](zip::TZipReader*, int, double totalBytes, bool&) {
    if (totalBytes > kMostUnpackedPerByte * packageBytes)
      throw zip::ENotEnoughRoom("The package would unpack to more than its size allows");
  };

  view_->AddLogLine("Decompressing File Package");
  std::string failure;  // why the package could not be unpacked
  const int count = RunPackage(
      unzip,
      [&] {
        try {
          const int n = unzip.UnZip();
          read = true;
          return n;
        } catch (const zip::EUserCanceled&) {
          throw;
        } catch (const std::exception& e) {
          failure = e.what();
          return 0;
        }
      },
      "Decompressing failed");
  // The window may have gone while the package was unpacked.
  if (count < 0) return count;
  if (!failure.empty()) {
    // Whatever the package held stays as it came, for the user to look at.
    LogException("Decompressing failed: " + failure);
    if (KeepPackage()) view_->AddLog("The package was kept in " + ShownName(targetFolder_) + "...");
    SetState(TState::Over);
    Fail("Decompressing failed: " + failure);
    return -1;
  }
  allDeclined_ = count == 0 && read && declined > 0 && !troubled;
  return count;
}

// The package stays beside the files, under its own name unless something
// there has it already.
bool TFileReceiver::KeepPackage() {
  std::string kept = targetFolder_ + SafeNameComponent(offer_.PackageName);
  if (platform::PathExists(kept))
    kept = platform::CreateTempFile(Folder(targetFolder_),
                                    SafeNameComponent(platform::ChangeFileExt(offer_.PackageName, "")) + "-");
  if (kept.empty() || !platform::RenameFile(packagePath_, kept)) {
    LogException("Receiving a package: it could not be kept in " + targetFolder_);
    DeletePackage();
    return false;
  }
  packagePath_.clear();
  return true;
}

void TFileReceiver::DeletePackage() {
  package_.reset();
  if (!packagePath_.empty()) platform::RemoveFile(packagePath_);
  packagePath_.clear();
}

void TFileReceiver::Discard() { DeletePackage(); }
