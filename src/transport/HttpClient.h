#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/EventLoop.h"
#include "platform/Exception.h"
#include "platform/StringList.h"
#include "transport/HttpCodec.h"

class TStream;
class TNetSocket;
class TCustomNetSocket;

enum THttpState : std::uint8_t {
  httpReady = 0,
  httpNotConnected = 1,
  httpConnected = 2,
  httpDnsLookup = 3,
  httpDnsLookupDone = 4,
  httpWaitingHeader = 5,
  httpWaitingBody = 6,
  httpAborting = 7,
};

enum THttpRequest { httpAbort = 0, httpGET = 1, httpPOST = 2, httpHEAD = 3 };

// Values of RequestDoneError besides the socket error numbers (10000 and up).
// A request that ends with any of them also has StatusCode 404 and a
// ReasonPhrase telling what went wrong.
constexpr int httperrAborted = 3;             // Abort was called
constexpr int httperrLineTooLong = 4;         // a header line or the header too long
constexpr int httperrIncomplete = 5;          // connection ended before the whole document
constexpr int httperrBadResponse = 6;         // no status line, or a header field we cannot read
constexpr int httperrTooManyRelocations = 7;  // more than MaxRelocations redirections
constexpr int httperrUnsupportedUrl = 8;      // not an http address, or bytes that cannot go on the wire
constexpr int httperrHandlerFailed = 9;       // writing RcvdStream or an event handler raised

// Misuse of the component (never a network failure).
class EHttpException : public platform::Exception {
 public:
  EHttpException(const std::string& msg, int error_number) : platform::Exception(msg), ErrorNumber(error_number) {}
  int ErrorNumber;
};

class THttpClient;
using THttpNotifyEvent = std::function<void(THttpClient* Sender)>;
using THttpDataEvent = std::function<void(THttpClient* Sender, const char* Data, int Len)>;
using THttpCommandEvent = std::function<void(THttpClient* Sender, std::string& Line)>;
using THttpRequestDone = std::function<void(THttpClient* Sender, THttpRequest Request, int Error)>;
// A Set-Cookie value as the server sent it.
using THttpCookieEvent = std::function<void(THttpClient* Sender, const std::string& Data)>;

// Fetches one document over HTTP/1.0 without blocking the GUI thread (GET,
// HEAD, or POST of SendStream), directly or through a proxy.
//
// Events of one successful GET, in order: OnHeaderBegin, OnHeaderData per
// header line, OnHeaderEnd, OnDocBegin, OnDocData per chunk, OnDocEnd, and
// OnRequestDone last, always, from the event loop after the handler that
// ended the request has returned. A redirection repeats the header events for
// each response. A page that comes without any header (its first line opens
// with "<HTML>") is the document, with StatusCode 0.
//
// A request that fails never reports OnDocEnd: a document cut short, a status
// of 400 or more, a lost connection all end in OnRequestDone with a non-zero
// error or a StatusCode of 400 and more. Owners that opened something in
// OnDocBegin release it in OnRequestDone. Abort is the one exception: it
// still reports OnDocEnd when body bytes had come, with StatusCode already 404.
class THttpClient : public TComponent {
 public:
  explicit THttpClient(TComponent* owner = nullptr);
  ~THttpClient() override;

  std::string URL;
  std::string LocalAddr = "0.0.0.0";
  std::string Sender;  // the From address
  std::string Reference;
  std::string Agent = "Mozilla/3.0 (compatible)";
  std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  bool NoCache = false;
  std::time_t ModifiedSince = 0;  // UTC; 0 = none
  // Receives the body when set; not owned.
  TStream* RcvdStream = nullptr;
  // The body of a POST, sent whole from its start; not owned.
  TStream* SendStream = nullptr;
  std::string ContentTypePost = "application/x-www-form-urlencoded";
  // Credentials for "Authorization: Basic"; an address's own user
  // information takes their place.
  std::string Username;
  std::string Password;
  // "host" or "host:port"; empty: no proxy. ProxyPort serves when Proxy
  // names no port.
  std::string Proxy;
  std::string ProxyPort = "80";
  std::string ProxyUsername;
  std::string ProxyPassword;
  // Sent as one "Cookie:" line when not empty.
  std::string Cookie;
  // The byte range to ask for ("Range: bytes=" begin "-" end), cleared once
  // asked; a partial answer's Content-Range fills them in again.
  std::string ContentRangeBegin;
  std::string ContentRangeEnd;
  // Redirections followed for one request before it fails.
  int MaxRelocations = 5;

  THttpState State() const { return state_; }
  THttpRequest RequestType() const { return request_type_; }
  int StatusCode() const { return status_code_; }
  const std::string& ReasonPhrase() const { return reason_phrase_; }
  // -1 when the server did not say.
  std::int64_t ContentLength() const { return content_length_; }
  const std::string& ContentType() const { return content_type_; }
  const std::string& DocName() const { return doc_name_; }
  const std::string& Location() const { return location_; }
  std::int64_t RcvdCount() const { return rcvd_count_; }
  int RequestDoneError() const { return request_done_error_; }
  const TStringList& RcvdHeader() const { return rcvd_header_; }
  // The server's Accept-Ranges value, and every WWW-Authenticate value.
  const std::string& AcceptRanges() const { return accept_ranges_; }
  const TStringList& WWWAuthenticate() const { return www_authenticate_; }
  std::int64_t SentCount() const { return sent_count_; }
  // The socket the request runs on (for its address and state).
  TNetSocket& CtrlSocket() { return *socket_; }

  // Start a request for URL and return at once. Raise EHttpException "HTTP
  // component is busy" while a request is under way, and PostASync "HTTP
  // component has nothing to post" without a SendStream.
  void GetASync();
  void HeadASync();
  void PostASync();
  // The same, handling events until the request has ended; a StatusCode of
  // 400 and more (every failure included) raises EHttpException with the
  // ReasonPhrase and the status as its number.
  void Get();
  void Head();
  void Post();
  // Ends the current request: StatusCode 404, RequestDoneError 3.
  void Abort();

  THttpNotifyEvent OnStateChange;
  THttpNotifyEvent OnSessionConnected;
  THttpNotifyEvent OnRequestHeaderBegin;
  THttpNotifyEvent OnRequestHeaderEnd;
  THttpNotifyEvent OnHeaderBegin;
  THttpNotifyEvent OnHeaderEnd;
  THttpNotifyEvent OnHeaderData;
  THttpNotifyEvent OnDocBegin;
  THttpDataEvent OnDocData;
  THttpNotifyEvent OnDocEnd;
  THttpNotifyEvent OnLocationChange;
  // Each request line before it is sent; the handler may rewrite it.
  THttpCommandEvent OnCommand;
  THttpCookieEvent OnCookie;
  // Every block of bytes as it comes from the network, before it is read as
  // header or body.
  THttpDataEvent OnDataAvailable;
  // A POST body: before its first block, after each block handed to the
  // network, and once all of SendStream has been handed over.
  THttpNotifyEvent OnSendBegin;
  THttpDataEvent OnSendData;
  THttpNotifyEvent OnSendEnd;
  THttpRequestDone OnRequestDone;

 protected:
  // One request line into the request being built (OnCommand may rewrite it).
  virtual void SendCommand(const std::string& line);
  // Looks the server (or proxy) up and connects.
  virtual void Login();
  // Ends the connection of the request; its close is no news to the request.
  virtual void Logout();
  virtual void InternalClear();
  // The connection of a redirected request has closed: the request starts
  // again at Location.
  virtual void LocationSessionClosed();
  virtual void TriggerCookie(const std::string& data);
  virtual void TriggerSessionConnected();
  virtual void TriggerRequestHeaderBegin();
  virtual void TriggerRequestHeaderEnd();
  // These two also set and clear the in-header flag.
  virtual void TriggerHeaderBegin();
  virtual void TriggerHeaderEnd();
  virtual void TriggerDocBegin();
  virtual void TriggerDocData(const char* data, int len);
  virtual void TriggerDocEnd();
  virtual void TriggerSendBegin();
  virtual void TriggerSendData(const char* data, int len);
  virtual void TriggerSendEnd();

 private:
  void WndProc(platform::TMessage& msg);
  void DoRequestAsync(THttpRequest request);
  void DoRequestSync(THttpRequest request);
  bool TakeTarget(const std::string& url);
  // Where the request goes: the target's host, port and path, and the
  // server we connect to (the proxy, when there is one).
  bool AimAt(const std::string& host, const std::string& port, const std::string& path);
  void SendRequest();
  void SendNextBlock();
  void ChangeState(THttpState new_state);
  void SetReady();
  void Fail(int error, const std::string& reason);
  void Finish();
  void Guard(const std::function<void()>& fn);

  void SocketDnsLookupDone(int error);
  void SocketSessionConnected(int error);
  void SocketDataAvailable();
  void SocketSessionClosed(int error);
  void ReceiveHeaderBytes();
  void HeaderLine(const std::string& line);
  void HeaderField(const std::string& name, const std::string& value);
  void HeaderEnded();
  // A page that came without a header: the line that opened it and all
  // after it are the document.
  void HeaderlessDocument();
  // A redirection ended its header: the request is repeated at Location.
  void FollowLocation();
  void BodyChunk(const char* data, std::size_t len);
  // Identifies the request under way to code that calls out to the owner,
  // who may end the request or free the component meanwhile.
  struct Ticket {
    std::weak_ptr<bool> alive;
    std::uint64_t generation;
  };
  Ticket Take() const { return {alive_, generation_}; }
  // The component still exists and runs the same request (Live: undecided).
  static bool Same(const THttpClient* self, const Ticket& t) {
    return !t.alive.expired() && self->generation_ == t.generation;
  }
  static bool Live(const THttpClient* self, const Ticket& t) { return Same(self, t) && self->active_; }

  std::unique_ptr<TNetSocket> socket_;
  platform::MessageTarget target_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  THttpState state_ = httpReady;
  THttpRequest request_type_ = httpGET;
  std::uint64_t generation_ = 0;  // of the request under way; posted messages carry it
  bool active_ = false;           // a request is under way and not yet decided
  bool closing_ = false;          // we close the socket ourselves: its close is no news

  // The document's server and path, and where the connection goes.
  std::string host_;
  std::string port_;
  std::string path_;
  std::string connect_host_;
  std::string connect_port_;
  std::string user_, pass_;  // for this request

  TStream* sending_ = nullptr;  // the POST body still being handed over
  std::int64_t sent_count_ = 0;

  std::string request_;
  std::vector<char> buf_;  // received bytes not yet taken as lines or body
  std::size_t held_ = 0;
  std::size_t header_bytes_ = 0;
  int header_line_count_ = 0;
  bool header_ended_ = false;
  bool in_header_ = false;
  bool headerless_ = false;  // the line just read opened a page without header
  bool doc_begun_ = false;
  bool location_flag_ = false;
  std::string location_error_;
  int relocations_ = 0;

  std::string doc_name_;
  std::string location_;
  int status_code_ = 0;
  std::string reason_phrase_;
  std::int64_t content_length_ = -1;
  std::string content_type_;
  std::string accept_ranges_;
  TStringList www_authenticate_;
  std::int64_t rcvd_count_ = 0;
  int request_done_error_ = 0;
  TStringList rcvd_header_;
};

// Splits an address into its scheme, user information, host, port and path.
// Every output starts empty; `path` is also the input against which an address
// beginning with "./" or "../" is resolved. A scheme is lower-cased.
void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass, std::string& host,
              std::string& port, std::string& path);

// 1-based position of the count-th occurrence of sub in text, counting from the
// end when count is negative; 0 when there is none.
int Posn(const std::string& sub, const std::string& text, int count);

// The name with its extension (after the last "." of the last path item)
// replaced by ext, or ext appended when there is none.
std::string ReplaceExt(const std::string& name, const std::string& ext);

// "Sun, 06 Nov 1994 08:49:37" for a UTC time.
std::string RFC1123_Date(std::time_t t);

// The local file name for a request path: the last path item without its
// query, "document.htm" for a folder.
std::string HttpDocName(const std::string& path);

// The address a Location value leads to from the current host, port and path,
// written as "http://host[:port]/path". Empty when the value names a scheme
// other than http.
std::string HttpResolveLocation(const std::string& value, const std::string& host, const std::string& port,
                                const std::string& path);
