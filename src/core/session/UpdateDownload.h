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
  // Bytes so far and the bar's maximum, the size the server announced (-1:
  // it did not), with the progress label's text ("": the label stays as it is).
  std::function<void(std::int64_t received, std::int64_t maximum, const std::string& label)> Progress;
  // The document is in place (true), or the request ended without it.
  std::function<void(bool complete)> Finished;
};

// Fetches an update file over HTTP into the "Updates" folder, under the name
// the server's address ends in, made one safe name component. One request at
// a time: while one runs, another is refused as the HTTP client refuses it.
//
// The bytes go to a temporary file beside the target, which becomes the file
// when the HTTP client reports the document's end. A request that ends
// without it, or is cancelled, leaves no partial file and an earlier file of
// the same name untouched. The file is never run.
class TUpdateDownload {
 public:
  TUpdateDownload(TPaths& paths, TUpdateDownloadView view);
  // A download under way is dropped with its partial file.
  ~TUpdateDownload();
  TUpdateDownload(const TUpdateDownload&) = delete;
  TUpdateDownload& operator=(const TUpdateDownload&) = delete;

  void StartDownload(const std::string& url, const std::string& version);
  void Cancel();
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
  void DownloadDocEnd();
  void RequestDone();
  // The partial file goes, with its stream.
  void DropPartFile();
  void Line(const std::string& line);

  TPaths& paths_;
  TUpdateDownloadView view_;
  std::unique_ptr<THttpClient> http_;
  std::unique_ptr<TFileStream> file_;
  std::string partFile_, target_, sizeText_;
  std::int64_t maximum_ = 100, received_ = 0;
  bool complete_ = false;
};
