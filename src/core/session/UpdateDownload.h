#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TFileStream;
class THttpClient;
class TPaths;

// What the update window shows of a download.
struct TUpdateDownloadView {
  std::function<void()> ClearLines;
  std::function<void(const std::string& line)> AddLine;
  // Bytes so far and the size the server announced (-1: it did not), with
  // the progress label's text ("": the label stays as it is).
  std::function<void(std::int64_t received, std::int64_t expected, const std::string& label)> Progress;
  // The request ended: complete (the file is in place), or not; a download
  // that failed adds no line of its own.
  std::function<void(bool complete)> Finished;
};

// Fetches an update file over HTTP into the "Updates" folder, under the name
// the server's address ends in, made one safe name component.
//
// The bytes go to a temporary file beside it. Only a 2xx answer whose body
// arrived whole (all of Content-Length, when the server gave one) becomes the
// file; anything else leaves no partial file and an earlier file of the same
// name untouched. The file is never run.
class TUpdateDownload {
 public:
  TUpdateDownload(TPaths& paths, TUpdateDownloadView view);
  // A download under way is dropped with its partial file.
  ~TUpdateDownload();
  TUpdateDownload(const TUpdateDownload&) = delete;
  TUpdateDownload& operator=(const TUpdateDownload&) = delete;

  // Drops a download under way and starts this one.
  void StartDownload(const std::string& url, const std::string& version);
  void Cancel();
  bool Running() const { return http_ != nullptr && !finished_; }
  bool Complete() const { return complete_; }
  // The file the download became (Updates folder + name); "" before the
  // server's answer named it.
  const std::string& TargetFile() const { return target_; }

  // A name from the server as one file name in one folder: separators become
  // "_"; "document.htm" for an empty name, "." or "..".
  static std::string SafeFileName(const std::string& docName);

 private:
  void DownloadHeaderEnd();
  void DownloadDocBegin();
  void DownloadDocData(int len);
  // The document is complete; whether it becomes the file is decided when
  // the request is done, with its status.
  void DownloadDocEnd();
  void RequestDone(int error);
  void Drop();
  void Line(const std::string& line);

  TPaths& paths_;
  TUpdateDownloadView view_;
  std::unique_ptr<THttpClient> http_;
  std::unique_ptr<TFileStream> file_;
  std::string partFile_, target_, sizeText_;
  std::int64_t expected_ = 0, received_ = 0;
  bool docEnded_ = false, finished_ = false, complete_ = false;
};
