#include "core/session/UpdateDownload.h"

#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "platform/FileNames.h"
#include "platform/Stream.h"
#include "transport/HttpClient.h"

TUpdateDownload::TUpdateDownload(TPaths& paths, TUpdateDownloadView view)
    : paths_(paths), view_(std::move(view)), http_(std::make_unique<THttpClient>()) {
  http_->OnHeaderEnd = [this](THttpClient*) { DownloadHeaderEnd(); };
  http_->OnDocBegin = [this](THttpClient*) { DownloadDocBegin(); };
  http_->OnDocData = [this](THttpClient*, const char*, int len) { DownloadDocData(len); };
  http_->OnDocEnd = [this](THttpClient*) { DownloadDocEnd(); };
  http_->OnRequestDone = [this](THttpClient*, THttpRequest, int) { RequestDone(); };
}

TUpdateDownload::~TUpdateDownload() {
  http_.reset();
  DropPartFile();
}

std::string TUpdateDownload::SafeFileName(const std::string& docName) {
  // A separator would lead out of the folder; "." and ".." name folders.
  std::string name = docName;
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  return name.empty() || name == "." || name == ".." ? "document.htm" : name;
}

void TUpdateDownload::Line(const std::string& line) {
  if (view_.AddLine) view_.AddLine(line);
}

void TUpdateDownload::DropPartFile() {
  if (http_) http_->RcvdStream = nullptr;
  file_.reset();
  if (!partFile_.empty()) platform::DeleteFile(partFile_);
  partFile_.clear();
}

void TUpdateDownload::StartDownload(const std::string& url, const std::string& version) {
  const bool idle = http_->State() == httpReady;
  complete_ = false;
  received_ = 0;
  if (view_.Progress) view_.Progress(0, maximum_, "");
  if (view_.ClearLines) view_.ClearLines();
  Line("Update Version: " + version);
  Line("Connecting to server for update...");
  try {
    http_->URL = url;
    // A download under way keeps writing its file: only its own end may close it.
    if (idle) DropPartFile();
    http_->GetASync();
    target_.clear();
  } catch (const std::exception&) {
    Line("Download Failed......");
    Line("Status: " + std::to_string(http_->StatusCode()));
    Line("Reason: " + http_->ReasonPhrase());
  }
}

void TUpdateDownload::Cancel() { http_->Abort(); }

void TUpdateDownload::DownloadHeaderEnd() {
  maximum_ = http_->ContentLength();
  sizeText_ = std::to_string(maximum_);
  Line("Download size: " + sizeText_ + " bytes...");
  if (view_.Progress) view_.Progress(received_, maximum_, "");
}

void TUpdateDownload::DownloadDocBegin() {
  const std::string name = SafeFileName(http_->DocName());
  TPaths::ForceFolder(paths_.UpdatesPath);
  partFile_ = paths_.MakeTempFileName(paths_.UpdatesPath, "~download", ".part");
  target_ = paths_.UpdatesPath + name;
  file_ = std::make_unique<TFileStream>(partFile_, fmOpenWrite | fmStore);
  http_->RcvdStream = file_.get();
  Line("Connected,  beginning download... " + name);
}

void TUpdateDownload::DownloadDocData(int len) {
  received_ += len;
  if (view_.Progress)
    view_.Progress(received_, maximum_,
                   "Download Progress: " + std::to_string(received_) + " of " + sizeText_ + " bytes");
}

// The HTTP client reports the end of a whole document, and of one that Cancel
// cut off: only the first becomes the file.
void TUpdateDownload::DownloadDocEnd() {
  if (http_->RequestDoneError() == httperrAborted || !file_) {
    DropPartFile();
    return;
  }
  http_->RcvdStream = nullptr;
  try {
    // The last bytes may fail only now, when they go to the disk.
    file_->Close();
  } catch (const std::exception& e) {
    LogError("None", "None", std::string("Storing the update: ") + e.what());
    DropPartFile();
    return;
  }
  file_.reset();
  if (!platform::RenameFile(partFile_, target_)) {
    LogError("None", "None", "The update could not be stored as " + target_);
    DropPartFile();
    return;
  }
  partFile_.clear();
  complete_ = true;
  if (view_.Progress) view_.Progress(0, maximum_, "Download Complete!");
  Line("Download Complete!");
  Line("Please close all open chat windows, the application must close to update.");
  Line("When ready, click the \"Install Update\" button to update the application.");
  if (view_.Finished) view_.Finished(true);
}

// An error answer or a broken link ends the request without the document's
// end: the window keeps what it shows, only no partial file stays.
void TUpdateDownload::RequestDone() {
  if (complete_) return;
  DropPartFile();
  if (view_.Finished) view_.Finished(false);
}
