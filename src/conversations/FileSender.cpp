#include "conversations/FileSender.h"

#include "platform/DosFiles.h"
#include "platform/FileNames.h"
#include "transport/CmdParser.h"
#include "transport/CommandCodes.h"
#include "zip/ZipWriter.h"

namespace {

const TLinkTexts kSenderTexts = {
    "Connection established, waiting for response...",
    {"Socket State: Invalid", "Socket State: Opened", "Socket State: Bound", "Socket State: Connecting",
     "Socket State: Connected...", "Socket State: Accepting...", "Socket State: Listening..."},
    "Socket State: Closed",
    "Outgoing Transfer ProcessCommand",
};

// The package's name on the wire: the user's name for it, made safe to travel
// and to be a file name on the other side, with ".zip".
std::string WirePackageName(const std::string& packageName) {
  std::string stem = SafeNameComponent(platform::ChangeFileExt(platform::ExtractFileName(packageName), ""));
  if (stem.size() > kMaxNameBytes - 4) stem.resize(kMaxNameBytes - 4);
  return stem + ".zip";
}

}  // namespace

TFileSender::TFileSender(TTransferView& view, TTransferHost host, std::unique_ptr<TParloSocket> socket,
                         std::string tmpFolder)
    : TTransferLink(view, std::move(host), std::move(socket), kSenderTexts), tmpFolder_(std::move(tmpFolder)) {}

TFileSender::~TFileSender() {
  Close();
  DeletePackage();
}

void TFileSender::SetTransferKind(TTransferKind kind) {
  kind_ = kind;
  view_->AddLog(KindInfo(kind).ReadyPrompt);
  view_->StateChanged();
}

void TFileSender::SetPeer(const std::string& ownUserName, const std::string& user, const std::string& addr,
                          const std::string& port) {
  ownUserName_ = ownUserName;
  user_ = user;
  addr_ = addr;
  port_ = port;
}

void TFileSender::SetState(TState state) {
  state_ = state;
  view_->StateChanged();
}

// ----- packing -------------------------------------------------------------------------------

bool TFileSender::CompressPackage(const std::vector<std::string>& files, const std::string& packageName) {
  if (state_ != TState::Choosing || Busy()) return false;
  zip::TZipWriter zip;
  zip.PackLevel = 9;
  zip.ReplaceReadOnly = true;
  // Files gone since they were chosen are left out without a word.
  for (const std::string& file : files)
    if (platform::FileExists(file)) zip.FilesList.push_back(file);
  if (zip.FilesList.empty()) {
    view_->AddLog("Compressing File Package...");
    return false;
  }

  DeletePackage();
  const std::string wireName = WirePackageName(packageName);
  // A name of our own for every package: two windows packing under the same
  // name, or a package left from an earlier run, never meet.
  std::string path = platform::CreateTempFile(tmpFolder_, platform::ChangeFileExt(wireName, "") + "-");
  if (path.empty()) {
    view_->AddLog("Compressing failed: no package can be made in " + ShownName(tmpFolder_));
    return false;
  }
  platform::RemoveFile(path);
  zip.SetZipName(path);
  packagePath_ = path;

  zip.OnStartZip = [this](zip::TZipWriter*, const std::string& name, zip::TZipHeaderInfo&, bool&) {
    view_->AddLogLine("Compressing File: " + ShownName(name));
  };
  zip.OnEndZip = [this](zip::TZipWriter*, const std::string& name, int64_t, int64_t compressed, int64_t) {
    view_->AddLogLine("Compressed File: " + ShownName(name) + ", size: " + std::to_string(compressed));
  };

  view_->AddLog("Compressing File Package...");
  const int packed = RunPackage(zip, [&zip] { return zip.Zip(); }, "Compressing failed");
  if (packed < 0) return false;
  const auto size = platform::FileSizeOf(packagePath_);
  if (packed == 0 || !size || *size <= 0 || static_cast<std::uint64_t>(*size) > kMaxPackageBytes) {
    DeletePackage();
    return false;
  }
  packageName_ = wireName;
  totalSize_ = static_cast<std::uint64_t>(*size);
  fileCount_ = static_cast<std::uint64_t>(packed);
  switch (kind_) {
    case TTransferKind::Binary:
      view_->AddLog("Package compressed, File Count: " + std::to_string(fileCount_) + " - ready to send...");
      break;
    case TTransferKind::Image:
      view_->AddLog("Image file compressed, ready to send...");
      break;
    case TTransferKind::Sound:
      view_->AddLog("Sound file compressed, ready to send...");
      break;
  }
  SetState(TState::Packed);
  return true;
}

void TFileSender::DeletePackage() {
  package_.reset();
  if (!packagePath_.empty()) platform::RemoveFile(packagePath_);
  packagePath_.clear();
}

void TFileSender::Discard() { DeletePackage(); }

// ----- the link -----------------------------------------------------------------------------

void TFileSender::Send() {
  if (state_ != TState::Packed) return;
  SetState(TState::Connecting);
  try {
    socket_->SetLineEnd("\r\n");
    socket_->SetLineMode(true);
    socket_->SetAddr(addr_);
    socket_->SetPort(port_);
    socket_->Connect();
  } catch (const std::exception&) {
    // An address that cannot be looked up fails as a refused connection does.
    HandleSocketError(socket_->LastError());
    LinkEnded();
  }
}

void TFileSender::HandleCommand(int code, const std::string&) {
  switch (code) {
    case cmd::PeerHello:
      if (state_ == TState::Connecting) SendFileInfo();
      break;
    case cmd::FileAccepted:
      // A second consent would send the package twice.
      if (state_ == TState::Offered) StartSending();
      break;
    case cmd::FileRejected:
      TransferRejected();
      break;
    case cmd::FileReceived:
      // Only a package that went out whole can have been unpacked.
      if (state_ == TState::Sent || (state_ == TState::Sending && queued_ == totalSize_)) TransferDone();
      break;
    default:
      break;
  }
}

void TFileSender::RawDataAvailable() {
  char sink[4096];
  socket_->Receive(sink, sizeof sink);
}

void TFileSender::SendFileInfo() {
  TFileOffer offer;
  offer.Sender = ownUserName_;
  offer.PackageName = packageName_;
  offer.Size = totalSize_;
  offer.Kind = KindInfo(kind_).Word;
  offer.Description = TCmdParser::EscapeText(ReadDescription ? ReadDescription() : std::string());
  view_->AddLog("Sending file information...");
  view_->AddLog("Waiting for authorization...");
  SetState(TState::Offered);
  socket_->SendCommand(cmd::FileOffer, offer.Record(), "");
}

// Whenever it comes: the other side wants no more of this transfer.
void TFileSender::TransferRejected() {
  if (state_ != TState::Done) Fail("Transfer was rejected...");
}

void TFileSender::StartSending() {
  view_->AddLog("Transfer authorized...");
  view_->AddLog("Starting file transfer...");
  package_ = std::make_unique<platform::TOsFile>();
  if (!package_->Open(packagePath_, platform::fmOpenRead)) {
    LogException("Byte Sender");
    Fail("Transfer failed: the package could not be read...");
    return;
  }
  queued_ = sent_ = 0;
  chunk_.resize(static_cast<std::size_t>(kChunkBytes));
  socket_->OnSendData = [this](TCustomNetSocket*, int count) { BytesSent(count); };
  socket_->OnDataSent = [this](TCustomNetSocket*, int) {
    // A failed transfer sends nothing more while its link is closing.
    if (state_ != TState::Sending || Outcome() != TOutcome::Pending) return;
    if (queued_ < totalSize_)
      SendFileBytes();
    else
      AllSent();
  };
  socket_->SendCommand(cmd::FileStart, TFileStart{totalSize_, packageName_, KindInfo(kind_).Word, fileCount_}.Record(),
                       "");
  SetState(TState::Sending);
  SendFileBytes();
}

// The link is handed the package a piece at a time, each once the last has
// gone out: the package is never held whole, and the send queue stays far
// below its bound however large the package is.
void TFileSender::SendFileBytes() {
  if (!package_ || !Connected() || queued_ >= totalSize_) return;
  const std::uint64_t want = std::min<std::uint64_t>(totalSize_ - queued_, chunk_.size());
  const std::int64_t n = package_->Read(chunk_.data(), static_cast<std::int64_t>(want));
  if (n <= 0) {
    // The package changed under us; what went out cannot be a whole package.
    LogException("Byte Sender");
    Fail("Transfer failed: the package could not be read...");
    return;
  }
  queued_ += static_cast<std::uint64_t>(n);
  if (queued_ == totalSize_) package_.reset();
  socket_->Send(chunk_.data(), static_cast<int>(n));
}

void TFileSender::BytesSent(int count) {
  if (state_ != TState::Sending || Outcome() != TOutcome::Pending || count <= 0) return;
  sent_ = std::min(totalSize_, sent_ + static_cast<std::uint64_t>(count));
  view_->SetProgress(sent_, totalSize_);
  view_->SetStatus("Sending... " + std::to_string(sent_) + " of " + std::to_string(totalSize_) + " bytes");
}

// The send queue is empty and the whole package was handed to it.
void TFileSender::AllSent() {
  view_->SetProgress(0, 0);
  SetState(TState::Sent);
  view_->AddLog("All data sent, waiting for acknowledgement...");
}

void TFileSender::TransferDone() {
  view_->SetProgress(0, 0);
  view_->AddLog("Transfer completed successfully...");
  view_->AddLogLine("Closing Connection...");
  PlayEventSound(kDoneSound);
  DeletePackage();
  SetState(TState::Done);
  Succeed();
  if (Connected()) socket_->Close();
}
