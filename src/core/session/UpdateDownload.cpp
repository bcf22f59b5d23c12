#include "core/session/UpdateDownload.h"

#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "platform/FileNames.h"
#include "platform/Stream.h"
#include "transport/HttpClient.h"

TUpdateDownload::TUpdateDownload(TPaths& paths, TUpdateDownloadView view) : paths_(paths), view_(std::move(view)) {}

TUpdateDownload::~TUpdateDownload() { Drop(); }

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

// The request, the file and the partial bytes go; a finished file stays.
void TUpdateDownload::Drop() {
  http_.reset();
  file_.reset();
  if (!partFile_.empty()) platform::DeleteFile(partFile_);
  partFile_.clear();
}

void TUpdateDownload::StartDownload(const std::string& url, const std::string& version) {
  Drop();
  target_.clear();
  sizeText_.clear();
  expected_ = received_ = 0;
  docEnded_ = finished_ = complete_ = false;
  if (view_.Progress) view_.Progress(0, 0, "");
  if (view_.ClearLines) view_.ClearLines();
  Line("Update Version: " + version);
  Line("Connecting to server for update...");
  http_ = std::make_unique<THttpClient>();
  http_->OnHeaderEnd = [this](THttpClient*) { DownloadHeaderEnd(); };
  http_->OnDocBegin = [this](THttpClient*) { DownloadDocBegin(); };
  http_->OnDocData = [this](THttpClient*, const char*, int len) { DownloadDocData(len); };
  http_->OnDocEnd = [this](THttpClient*) { DownloadDocEnd(); };
  http_->OnRequestDone = [this](THttpClient*, THttpRequest, int error) { RequestDone(error); };
  http_->URL = url;
  try {
    http_->GetASync();
  } catch (const std::exception&) {
    Line("Download Failed......");
    Line("Status: " + std::to_string(http_->StatusCode()));
    Line("Reason: " + http_->ReasonPhrase());
    finished_ = true;
    if (view_.Finished) view_.Finished(false);
  }
}

void TUpdateDownload::Cancel() {
  if (Running()) http_->Abort();
}

void TUpdateDownload::DownloadHeaderEnd() {
  expected_ = http_->ContentLength();
  sizeText_ = std::to_string(expected_);
  Line("Download size: " + sizeText_ + " bytes...");
  if (view_.Progress) view_.Progress(0, expected_, "");
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
    view_.Progress(received_, expected_,
                   "Download Progress: " + std::to_string(received_) + " of " + sizeText_ + " bytes");
}

void TUpdateDownload::DownloadDocEnd() { docEnded_ = true; }

void TUpdateDownload::RequestDone(int error) {
  finished_ = true;
  const int status = http_ ? http_->StatusCode() : 0;
  if (http_) http_->RcvdStream = nullptr;
  bool whole = error == 0 && status >= 200 && status < 300 && docEnded_ && !partFile_.empty() &&
               (expected_ < 0 || received_ == expected_);
  if (file_) {
    // The last bytes may fail only now, when they go to the disk.
    try {
      file_->Close();
    } catch (const std::exception& e) {
      if (whole) LogError("None", "None", std::string("Storing the update: ") + e.what());
      whole = false;
    }
    file_.reset();
  }
  if (whole && !platform::RenameFile(partFile_, target_)) {
    LogError("None", "None", "The update could not be stored as " + target_);
    whole = false;
  }
  if (whole) {
    partFile_.clear();
    complete_ = true;
    if (view_.Progress) view_.Progress(0, expected_, "Download Complete!");
    Line("Download Complete!");
    Line("Please close all open chat windows, the application must close to update.");
    Line("When ready, click the \"Install Update\" button to update the application.");
  } else {
    // As an error answer or a broken link ends the request: the window keeps
    // what it shows, only no partial file stays.
    if (!partFile_.empty()) platform::DeleteFile(partFile_);
    partFile_.clear();
  }
  if (view_.Finished) view_.Finished(complete_);
}
