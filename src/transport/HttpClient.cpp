#include "transport/HttpClient.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/Event.h"
#include "platform/Stream.h"
#include "platform/Strings.h"
#include "transport/NetSocket.h"

using platform::Trim;

namespace {

constexpr unsigned WM_HTTP_REQUEST_DONE = platform::WM_USER + 1;
constexpr unsigned WM_HTTP_SET_READY = platform::WM_USER + 2;
constexpr unsigned WM_HTTP_LOGIN = platform::WM_USER + 3;

// Longest header line, and the whole header; a server that goes past them is
// not answering our request.
constexpr std::size_t kLineRoom = 8192;
constexpr std::size_t kMaxHeaderBytes = 65536;
// Body bytes taken per receive: the receive buffer's room, so each body
// chunk (and each progress step of a download) is at most this long.
constexpr std::size_t kBodyChunk = 8192;

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
         c == '.';
}

// Bytes that would break the request line or a header line.
bool HasWireBreakingBytes(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F;
  });
}

bool IsStatusLine(const std::string& line) {
  return line.compare(0, 8, "HTTP/1.0") == 0 || line.compare(0, 8, "HTTP/1.1") == 0;
}

// A page some servers send instead of a response, with no status line or
// header before it.
bool OpensHeaderlessPage(const std::string& line) { return platform::UpperCase(line.substr(0, 6)) == "<HTML>"; }

bool ValidPort(const std::string& port) {
  if (port.empty() || port.size() > 5) return false;
  if (!std::all_of(port.begin(), port.end(), IsDigit)) return false;
  const int n = std::stoi(port);
  return n >= 1 && n <= 65535;
}

// "dir/" + rel with leading "./" and "../" taken against dir.
std::string JoinRelative(std::string dir, std::string rel) {
  for (;;) {
    if (rel.compare(0, 2, "./") == 0) {
      rel.erase(0, 2);
    } else if (rel.compare(0, 3, "../") == 0) {
      rel.erase(0, 3);
      // Drop the last directory of dir ("/a/b/" -> "/a/"), never the root.
      if (dir.size() > 1) {
        const std::size_t slash = dir.rfind('/', dir.size() - 2);
        dir.erase(slash == std::string::npos ? 0 : slash + 1);
      }
    } else {
      break;
    }
  }
  return dir + rel;
}

// The directory part of a path: up to its last "/" or ":" before any "?".
std::string DirectoryOf(const std::string& path) {
  const std::string no_query = path.substr(0, path.find('?'));
  const std::size_t cut = no_query.find_last_of("/:");
  return cut == std::string::npos ? std::string() : no_query.substr(0, cut + 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Free functions

void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass, std::string& host,
              std::string& port, std::string& path) {
  const std::string base_path = path;
  proto.clear();
  user.clear();
  pass.clear();
  host.clear();
  port.clear();
  path.clear();
  if (url.empty()) return;

  if (url.compare(0, 2, "./") == 0 || url.compare(0, 3, "../") == 0) {
    path = JoinRelative(DirectoryOf(base_path), url);
    return;
  }

  std::size_t rest = 0;  // where host information starts
  const std::size_t sep = url.find("://");
  const std::size_t first_slash = url.find('/');
  if (sep != std::string::npos && sep > 0 && sep <= first_slash &&
      std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(sep), IsSchemeChar)) {
    proto = platform::LowerCase(url.substr(0, sep));
    rest = sep + 3;
  } else if (platform::LowerCase(url.substr(0, 5)) == "http:") {
    proto = "http";
    if (url.size() > 5) path = url.substr(5);
    return;
  } else if (platform::LowerCase(url.substr(0, 7)) == "mailto:") {
    proto = "mailto";
    return;
  } else if (url[0] == '/') {
    proto = "http";
    if (url.compare(0, 2, "//") != 0) {
      path = url;
      return;
    }
    rest = 2;
  } else {
    proto = "http";
  }

  // The path begins at the first "/", or at a "?" that comes before it.
  std::size_t path_start = url.find('/', rest);
  const std::size_t query = url.find('?', rest);
  if (query != std::string::npos && (path_start == std::string::npos || query < path_start)) path_start = query;
  std::string authority = url.substr(rest, path_start == std::string::npos ? std::string::npos : path_start - rest);
  if (path_start != std::string::npos) path = url.substr(path_start);

  const std::size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    const std::string info = authority.substr(0, at);
    const std::size_t colon = info.find(':');
    user = info.substr(0, colon);
    if (colon != std::string::npos) pass = info.substr(colon + 1);
    authority.erase(0, at + 1);
  }
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string::npos) {
    port = authority.substr(colon + 1);
    authority.erase(colon);
  }
  host = authority;
}

int Posn(const std::string& sub, const std::string& text, int count) {
  if (sub.empty() || count == 0) return 0;
  if (count > 0) {
    std::size_t from = 0;
    for (;;) {
      const std::size_t p = text.find(sub, from);
      if (p == std::string::npos) return 0;
      if (--count == 0) return static_cast<int>(p) + 1;
      from = p + 1;
    }
  }
  if (sub.size() > text.size()) return 0;
  std::size_t from = text.size() - sub.size();
  for (;;) {
    const std::size_t p = text.rfind(sub, from);
    if (p == std::string::npos) return 0;
    if (++count == 0) return static_cast<int>(p) + 1;
    if (p == 0) return 0;
    from = p - 1;
  }
}

std::string ReplaceExt(const std::string& name, const std::string& ext) {
  const std::size_t slash = name.find_last_of("/\\");
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + "." + ext;
  return name.substr(0, dot + 1) + ext;
}

std::string RFC1123_Date(std::time_t t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  gmtime_r(&t, &tm);
  char out[40];
  std::snprintf(out, sizeof(out), "%s, %02d %s %04d %02d:%02d:%02d", kDays[tm.tm_wday], tm.tm_mday,
                kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return out;
}

std::string HttpDocName(const std::string& path) {
  std::string name = path.substr(0, path.find('?'));
  if (name.empty() || name.back() == '/') return "document.htm";
  const std::size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  name = name.substr(0, 255);
  name = name.substr(0, name.find('?'));
  // The name becomes a file in the owner's folder: never one that means the
  // folder itself or its parent.
  if (name.empty() || name == "." || name == "..") return "document.htm";
  return name;
}

std::string HttpResolveLocation(const std::string& value, const std::string& host, const std::string& port,
                                const std::string& path) {
  std::string new_host = host;
  std::string new_port = port;
  std::string new_path;
  const std::size_t sep = value.find("://");
  const bool has_scheme = sep != std::string::npos && sep > 0 && sep < value.find('/') &&
                          std::all_of(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(sep), IsSchemeChar);
  if (has_scheme || value.compare(0, 2, "//") == 0) {
    std::string proto, user, pass, path_out;
    ParseURL(has_scheme ? value : "http:" + value, proto, user, pass, new_host, new_port, path_out);
    if (proto != "http") return {};
    new_path = path_out.empty() ? "/" : path_out;
  } else if (!value.empty() && value[0] == '/') {
    new_path = value;
  } else {
    const std::string dir = DirectoryOf(path);
    new_path = JoinRelative(dir.empty() ? "/" : dir, value);
  }
  if (new_port.empty()) new_port = "80";
  if (!new_path.empty() && new_path[0] == '?') new_path = "/" + new_path;
  // The port stays in the address, or a redirection on another port than 80
  // would lead to port 80.
  return "http://" + new_host + (new_port == "80" ? "" : ":" + new_port) + new_path;
}

// ---------------------------------------------------------------------------
// THttpClient

THttpClient::THttpClient(TComponent* owner)
    : TComponent(owner), socket_(std::make_unique<TNetSocket>()), target_([this](platform::TMessage& m) { WndProc(m); }) {
  buf_.resize(std::max(kLineRoom, kBodyChunk) + 1);
  socket_->OnDnsLookupDone = [this](TCustomNetSocket*, int error) { Guard([&] { SocketDnsLookupDone(error); }); };
  socket_->OnSessionConnected = [this](TCustomNetSocket*, int error) {
    Guard([&] { SocketSessionConnected(error); });
  };
  socket_->OnDataAvailable = [this](TCustomNetSocket*, int) { Guard([&] { SocketDataAvailable(); }); };
  socket_->OnSessionClosed = [this](TCustomNetSocket*, int error) {
    if (!closing_) Guard([&] { SocketSessionClosed(error); });
  };
  socket_->OnDataSent = [this](TCustomNetSocket*, int) { Guard([&] { SendNextBlock(); }); };
}

THttpClient::~THttpClient() {
  *alive_ = false;
  active_ = false;
  socket_->OnDnsLookupDone = nullptr;
  socket_->OnSessionConnected = nullptr;
  socket_->OnDataAvailable = nullptr;
  socket_->OnSessionClosed = nullptr;
  socket_->OnDataSent = nullptr;
  socket_.reset();
}

// An exception from our own handlers or the owner's events ends the request
// as a failure instead of leaving it to the socket, which would only reset the
// connection and could make a broken download look finished.
void THttpClient::Guard(const std::function<void()>& fn) {
  const Ticket gen = Take();
  try {
    fn();
  } catch (const std::exception& e) {
    if (Live(this, gen)) {
      Fail(httperrHandlerFailed, e.what());
      return;
    }
    throw;
  }
}

void THttpClient::Logout() {
  if (socket_->State() == wsClosed) return;
  closing_ = true;
  try {
    socket_->Close();
  } catch (...) {
    closing_ = false;
    throw;
  }
  closing_ = false;
}

void THttpClient::ChangeState(THttpState new_state) {
  const THttpState old_state = state_;
  state_ = new_state;
  if (old_state == new_state) return;
  if (new_state == httpReady) target_.Post(WM_HTTP_REQUEST_DONE, static_cast<std::uintptr_t>(generation_));
  platform::Fire(OnStateChange, this);
}

void THttpClient::WndProc(platform::TMessage& msg) {
  const bool current = static_cast<std::uint64_t>(msg.WParam) == generation_;
  switch (msg.Msg) {
    case WM_HTTP_REQUEST_DONE:
      if (current) platform::Fire(OnRequestDone, this, request_type_, request_done_error_);
      break;
    case WM_HTTP_SET_READY:
      if (current && state_ != httpReady) ChangeState(httpReady);
      break;
    case WM_HTTP_LOGIN:
      if (current && active_) Login();
      break;
    default:
      break;
  }
}

void THttpClient::GetASync() { DoRequestAsync(httpGET); }
void THttpClient::HeadASync() { DoRequestAsync(httpHEAD); }
void THttpClient::PostASync() { DoRequestAsync(httpPOST); }
void THttpClient::Get() { DoRequestSync(httpGET); }
void THttpClient::Head() { DoRequestSync(httpHEAD); }
void THttpClient::Post() { DoRequestSync(httpPOST); }

void THttpClient::DoRequestSync(THttpRequest request) {
  DoRequestAsync(request);
  const Ticket gen = Take();
  platform::ProcessMessagesUntil([&] { return !Same(this, gen) || state_ == httpReady; }, INT_MAX);
  // Freed by a handler meanwhile: nobody is left to tell.
  if (gen.alive.expired()) return;
  if (status_code_ >= 400) throw EHttpException(reason_phrase_, status_code_);
}

void THttpClient::InternalClear() {
  rcvd_header_.Clear();
  doc_name_.clear();
  content_type_.clear();
  request_done_error_ = 0;
  status_code_ = 0;
  reason_phrase_.clear();
  rcvd_count_ = 0;
  header_line_count_ = 0;
  header_bytes_ = 0;
  held_ = 0;
  header_ended_ = false;
  in_header_ = false;
  headerless_ = false;
  doc_begun_ = false;
  location_flag_ = false;
  location_error_.clear();
  content_length_ = -1;
  accept_ranges_.clear();
  www_authenticate_.Clear();
  sending_ = nullptr;
  sent_count_ = 0;
  location_ = URL;
}

bool THttpClient::TakeTarget(const std::string& url) {
  std::string proto, user, pass, host, port, path;
  ParseURL(url, proto, user, pass, host, port, path);
  if (proto.empty()) proto = "http";
  if (proto != "http") {
    Fail(httperrUnsupportedUrl, "Unsupported protocol: " + proto);
    return false;
  }
  if (port.empty()) port = "80";
  if (path.empty()) path = "/";
  if (path[0] == '?') path = "/" + path;
  if (host.empty() || HasWireBreakingBytes(host) || HasWireBreakingBytes(path) || !ValidPort(port)) {
    Fail(httperrUnsupportedUrl, "Invalid URL: " + url);
    return false;
  }
  user_ = user.empty() ? Username : user;
  pass_ = user.empty() ? Password : pass;
  return AimAt(host, port, path);
}

bool THttpClient::AimAt(const std::string& host, const std::string& port, const std::string& path) {
  host_ = host;
  port_ = port;
  path_ = path;
  doc_name_ = HttpDocName(path);
  connect_host_ = host;
  connect_port_ = port;
  const std::string proxy = Trim(Proxy);
  if (proxy.empty()) return true;
  const std::size_t colon = proxy.rfind(':');
  connect_host_ = proxy.substr(0, colon);
  connect_port_ = colon == std::string::npos ? Trim(ProxyPort) : proxy.substr(colon + 1);
  if (connect_port_.empty()) connect_port_ = "80";
  if (connect_host_.empty() || HasWireBreakingBytes(connect_host_) || !ValidPort(connect_port_)) {
    Fail(httperrUnsupportedUrl, "Invalid proxy: " + proxy);
    return false;
  }
  return true;
}

void THttpClient::DoRequestAsync(THttpRequest request) {
  if (state_ != httpReady) throw EHttpException("HTTP component is busy", 1);
  if (request == httpPOST && SendStream == nullptr) throw EHttpException("HTTP component has nothing to post", 2);
  ++generation_;
  active_ = true;
  relocations_ = 0;
  request_type_ = request;
  InternalClear();
  const Ticket gen = Take();
  ChangeState(httpNotConnected);
  if (!Live(this, gen)) return;
  if (!TakeTarget(Trim(URL))) return;
  Login();
}

void THttpClient::Login() {
  const Ticket gen = Take();
  Logout();
  ChangeState(httpDnsLookup);
  if (!Live(this, gen)) return;
  try {
    socket_->SetLocalAddr(LocalAddr);
    socket_->DnsLookup(connect_host_);
  } catch (const std::exception& e) {
    if (Live(this, gen)) Fail(socket_->LastError() != 0 ? socket_->LastError() : 11001, e.what());
  }
}

void THttpClient::SocketDnsLookupDone(int error) {
  if (!active_ || state_ != httpDnsLookup) return;
  const Ticket gen = Take();
  if (error != 0) {
    Fail(error, "can't resolve hostname to IP address");
    return;
  }
  ChangeState(httpDnsLookupDone);
  if (!Live(this, gen)) return;
  try {
    socket_->ConnectTcp(socket_->DnsResult(), connect_port_);
  } catch (const std::exception& e) {
    if (Live(this, gen)) Fail(socket_->LastError() != 0 ? socket_->LastError() : 10022, e.what());
  }
}

void THttpClient::SocketSessionConnected(int error) {
  if (!active_) return;
  const Ticket gen = Take();
  if (error != 0) {
    Fail(error, NetSocketErrorDesc(error) + " (Error #" + std::to_string(error) + ")");
    return;
  }
  ChangeState(httpConnected);
  if (!Live(this, gen)) return;
  TriggerSessionConnected();
  if (!Live(this, gen)) return;
  ChangeState(httpWaitingHeader);
  if (!Live(this, gen)) return;
  SendRequest();
}

void THttpClient::SendCommand(const std::string& line) {
  std::string text = line;
  platform::Fire(OnCommand, this, text);
  // A handler's rewrite must not smuggle line breaks into the request.
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }), text.end());
  request_ += text;
  request_ += "\r\n";
}

void THttpClient::SendRequest() {
  const Ticket gen = Take();
  request_.clear();
  TriggerRequestHeaderBegin();
  if (!Live(this, gen)) return;
  const bool post = request_type_ == httpPOST;
  const char* method = post ? "POST" : request_type_ == httpHEAD ? "HEAD" : "GET";
  // Through a proxy the request names the whole address.
  const std::string target =
      Trim(Proxy).empty() ? path_ : "http://" + host_ + (port_ == "80" ? "" : ":" + port_) + path_;
  SendCommand(std::string(method) + " " + target + " HTTP/1.0");
  if (!Sender.empty()) SendCommand("From: " + Sender);
  if (!Accept.empty()) SendCommand("Accept: " + Accept);
  if (!Reference.empty()) SendCommand("Referer: " + Reference);
  if (post && !ContentTypePost.empty()) SendCommand("Content-Type: " + ContentTypePost);
  if (!Agent.empty()) SendCommand("User-Agent: " + Agent);
  SendCommand("Host: " + host_);
  if (NoCache) SendCommand("Pragma: no-cache");
  if (post) SendCommand("Content-Length: " + std::to_string(SendStream->Size()));
  if (ModifiedSince != 0) SendCommand("If-Modified-Since: " + RFC1123_Date(ModifiedSince) + " GMT");
  if (!user_.empty()) SendCommand("Authorization: Basic " + EncodeStr(encBase64, user_ + ":" + pass_));
  if (!Trim(Proxy).empty() && !ProxyUsername.empty())
    SendCommand("Proxy-Authorization: Basic " + EncodeStr(encBase64, ProxyUsername + ":" + ProxyPassword));
  if (!Cookie.empty()) SendCommand("Cookie: " + Cookie);
  if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
    SendCommand("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
  }
  if (!Live(this, gen)) return;
  TriggerRequestHeaderEnd();
  if (!Live(this, gen)) return;
  request_ += "\r\n";
  socket_->SendStr(request_);
  request_.clear();
  if (!post || !Live(this, gen)) return;
  SendStream->SetPosition(0);
  TriggerSendBegin();
  if (!Live(this, gen)) return;
  sending_ = SendStream;
  SendNextBlock();
}

// One block of the body at a time, the next when the network has taken it:
// a large body never waits in memory twice.
void THttpClient::SendNextBlock() {
  if (!active_ || sending_ == nullptr) return;
  const Ticket gen = Take();
  char block[8192];
  const std::int64_t n = sending_->Read(block, sizeof(block));
  if (n <= 0) {
    sending_ = nullptr;
    TriggerSendEnd();
    return;
  }
  sent_count_ += n;
  socket_->Send(block, static_cast<int>(n));
  if (!Live(this, gen)) return;
  TriggerSendData(block, static_cast<int>(n));
}

// --- receiving ---------------------------------------------------------------

void THttpClient::SocketDataAvailable() {
  if (!active_ || (state_ != httpWaitingHeader && state_ != httpWaitingBody)) {
    // Nothing is expected: read and drop, so the socket does not spin.
    char sink[1024];
    socket_->Receive(sink, sizeof(sink));
    return;
  }
  if (state_ == httpWaitingHeader) {
    ReceiveHeaderBytes();
    return;
  }
  const int n = socket_->Receive(buf_.data(), static_cast<int>(kBodyChunk));
  if (n <= 0) return;
  const Ticket gen = Take();
  platform::Fire(OnDataAvailable, this, static_cast<const char*>(buf_.data()), n);
  if (Live(this, gen)) BodyChunk(buf_.data(), static_cast<std::size_t>(n));
}

void THttpClient::ReceiveHeaderBytes() {
  const Ticket gen = Take();
  if (held_ >= kLineRoom) {
    Fail(httperrLineTooLong, "HTTP line too long");
    return;
  }
  const int n = socket_->Receive(buf_.data() + held_, static_cast<int>(kLineRoom - held_));
  if (n <= 0) return;
  platform::Fire(OnDataAvailable, this, static_cast<const char*>(buf_.data() + held_), n);
  if (!Live(this, gen)) return;
  held_ += static_cast<std::size_t>(n);
  std::size_t start = 0;
  while (state_ == httpWaitingHeader) {
    const char* lf = static_cast<const char*>(std::memchr(buf_.data() + start, '\n', held_ - start));
    if (lf == nullptr) break;
    const std::size_t end = static_cast<std::size_t>(lf - buf_.data());
    std::size_t len = end - start;
    if (len > 0 && buf_[start + len - 1] == '\r') --len;
    header_bytes_ += end + 1 - start;
    const std::string line(buf_.data() + start, len);
    const std::size_t line_start = start;
    start = end + 1;
    if (header_bytes_ > kMaxHeaderBytes) {
      Fail(httperrLineTooLong, "HTTP header too long");
      return;
    }
    HeaderLine(line);
    if (!Live(this, gen)) return;
    // The page is the document as the server sent it, its first line too.
    if (headerless_) start = line_start;
  }
  // What follows the header is the first body chunk.
  const std::size_t rest = held_ - start;
  held_ = 0;
  if (state_ == httpWaitingHeader) {
    std::memmove(buf_.data(), buf_.data() + start, rest);
    held_ = rest;
  } else if (state_ == httpWaitingBody && rest > 0) {
    std::string first(buf_.data() + start, rest);
    BodyChunk(first.data(), first.size());
  }
}

void THttpClient::HeaderLine(const std::string& line) {
  const Ticket gen = Take();
  const bool first = header_line_count_++ == 0;
  if (first) {
    TriggerHeaderBegin();
    if (!Live(this, gen)) return;
  }
  if (OpensHeaderlessPage(line)) {
    HeaderlessDocument();
    return;
  }
  if (line.empty()) {
    HeaderEnded();
    return;
  }
  rcvd_header_.Add(line);
  const std::size_t colon = line.find(':');
  if (IsStatusLine(line)) {
    // A status that is no number is none: the request then reads as one that
    // did not succeed.
    int status = 0;
    status_code_ = line.size() > 9 && platform::TryStrToInt(line.substr(9, 3), status) ? status : 0;
    reason_phrase_ = line.size() > 13 ? line.substr(13) : std::string();
  } else if (colon != std::string::npos) {
    std::size_t v = colon + 1;
    while (v < line.size() && line[v] == ' ') ++v;
    HeaderField(platform::LowerCase(line.substr(0, colon)), line.substr(v));
    if (!Live(this, gen)) return;
  }
  platform::Fire(OnHeaderData, this);
}

void THttpClient::HeaderField(const std::string& name, const std::string& value) {
  if (name == "location") {
    location_flag_ = true;
    const std::string target = HttpResolveLocation(Trim(value), host_, port_, path_);
    if (target.empty()) {
      location_error_ = "Unsupported relocation: " + Trim(value);
    } else if (HasWireBreakingBytes(target)) {
      location_error_ = "Invalid relocation";
    } else {
      location_error_.clear();
      location_ = target;
    }
  } else if (name == "content-length") {
    std::int64_t n = -1;
    if (!platform::TryStrToInt64(Trim(value), n) || n < 0) {
      Fail(httperrBadResponse, "Invalid Content-Length: " + Trim(value));
      return;
    }
    content_length_ = n;
  } else if (name == "content-range") {
    // "bytes 100-199/1000": the unit and its blank take six characters.
    const std::string range = value.size() > 6 ? value.substr(6) : std::string();
    const std::size_t dash = range.find('-');
    ContentRangeBegin = Trim(range.substr(0, dash));
    ContentRangeEnd = dash == std::string::npos ? std::string() : Trim(range.substr(dash + 1, range.find('/') - dash - 1));
  } else if (name == "accept-ranges") {
    accept_ranges_ = value;
  } else if (name == "content-type") {
    content_type_ = platform::LowerCase(value);
  } else if (name == "www-authenticate") {
    www_authenticate_.Add(value);
  } else if (name == "set-cookie") {
    TriggerCookie(value);
  }
}

void THttpClient::HeaderlessDocument() {
  const Ticket gen = Take();
  headerless_ = true;
  if (content_type_.empty()) content_type_ = "text/html";
  header_ended_ = true;
  ChangeState(httpWaitingBody);
  if (!Live(this, gen)) return;
  TriggerHeaderEnd();
}

void THttpClient::FollowLocation() {
  const Ticket gen = Take();
  if (!location_error_.empty()) {
    Fail(httperrUnsupportedUrl, location_error_);
    return;
  }
  if (relocations_ >= MaxRelocations) {
    Fail(httperrTooManyRelocations, "Too many relocations");
    return;
  }
  ++relocations_;
  // The rest of this response is of no interest; the next request starts
  // once this handler has returned.
  Logout();
  ChangeState(httpNotConnected);
  if (!Live(this, gen)) return;
  LocationSessionClosed();
}

void THttpClient::HeaderEnded() {
  const Ticket gen = Take();
  if (location_flag_) {
    TriggerHeaderEnd();
    if (!Live(this, gen)) return;
    FollowLocation();
    return;
  }
  // A HEAD answer describes a document it does not carry.
  if (content_length_ != 0 && request_type_ != httpHEAD) {
    const std::size_t dot = doc_name_.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : platform::LowerCase(doc_name_.substr(dot));
    const std::string media = Trim(content_type_.substr(0, content_type_.find(';')));
    if ((ext.empty() || ext == ".exe") && media == "text/html") doc_name_ = ReplaceExt(doc_name_, "htm");
    header_ended_ = true;
    ChangeState(httpWaitingBody);
    if (!Live(this, gen)) return;
    TriggerHeaderEnd();
    if (!Live(this, gen)) return;
    if (status_code_ >= 400) {
      // An error page is not the document: nothing of it is delivered.
      Finish();
    }
    return;
  }
  header_ended_ = true;
  TriggerHeaderEnd();
  if (!Live(this, gen)) return;
  Finish();
}

void THttpClient::BodyChunk(const char* data, std::size_t len) {
  if (status_code_ >= 400 || len == 0) return;
  const Ticket gen = Take();
  if (!doc_begun_) {
    doc_begun_ = true;
    TriggerDocBegin();
    if (!Live(this, gen)) return;
  }
  rcvd_count_ += static_cast<std::int64_t>(len);
  if (RcvdStream != nullptr) RcvdStream->WriteBuffer(data, static_cast<std::int64_t>(len));
  TriggerDocData(data, static_cast<int>(len));
}

void THttpClient::SocketSessionClosed(int error) {
  if (!active_) return;
  if (error != 0) {
    Fail(error, NetSocketErrorDesc(error) + " (Error #" + std::to_string(error) + ")");
    return;
  }
  if (!header_ended_) {
    const Ticket gen = Take();
    if (in_header_) {
      TriggerHeaderEnd();
      if (!Live(this, gen)) return;
      if (location_flag_) {
        FollowLocation();
        return;
      }
    }
    Fail(httperrIncomplete, "Connection closed before the response header ended");
    return;
  }
  // A body cut short is no document, however cleanly the server closed.
  if (content_length_ >= 0 && rcvd_count_ < content_length_) {
    Fail(httperrIncomplete, "Document incomplete: " + std::to_string(rcvd_count_) + " of " +
                                std::to_string(content_length_) + " bytes received");
    return;
  }
  const Ticket gen = Take();
  if (doc_begun_) {
    TriggerDocEnd();
    if (!Live(this, gen)) return;
  }
  Finish();
}

// --- ending a request ----------------------------------------------------------

void THttpClient::SetReady() { target_.Post(WM_HTTP_SET_READY, static_cast<std::uintptr_t>(generation_)); }

void THttpClient::Finish() {
  active_ = false;
  sending_ = nullptr;
  Logout();
  SetReady();
}

void THttpClient::Fail(int error, const std::string& reason) {
  if (!active_) return;
  status_code_ = 404;
  reason_phrase_ = reason;
  request_done_error_ = error;
  Finish();
}

void THttpClient::Abort() {
  if (!active_) {
    if (state_ == httpReady && socket_->State() != wsClosed) socket_->Close();
    return;
  }
  const Ticket gen = Take();
  const bool looking_up = state_ == httpDnsLookup;
  active_ = false;
  sending_ = nullptr;
  ChangeState(httpAborting);
  if (!Same(this, gen)) return;
  status_code_ = 404;
  reason_phrase_ = "Connection aborted on request";
  request_done_error_ = httperrAborted;
  if (looking_up) socket_->CancelDnsLookup();
  Logout();
  // Owners close what they opened for the document on its end.
  if (doc_begun_) TriggerDocEnd();
  if (!Same(this, gen)) return;
  ChangeState(httpReady);
}

void THttpClient::LocationSessionClosed() {
  const Ticket gen = Take();
  std::string proto, user, pass, host, port, path;
  ParseURL(location_, proto, user, pass, host, port, path);
  if (port.empty()) port = "80";
  // Credentials were given for one server: another one does not get them.
  if (host != host_ || port != port_) {
    user_.clear();
    pass_.clear();
  }
  if (!AimAt(host, port, path.empty() ? "/" : path)) return;
  location_flag_ = false;
  if (request_type_ == httpPOST) request_type_ = httpGET;
  platform::Fire(OnLocationChange, this);
  if (!Live(this, gen)) return;
  rcvd_header_.Clear();
  header_line_count_ = 0;
  header_bytes_ = 0;
  held_ = 0;
  content_length_ = -1;
  content_type_.clear();
  status_code_ = 0;
  reason_phrase_.clear();
  in_header_ = false;
  target_.Post(WM_HTTP_LOGIN, static_cast<std::uintptr_t>(gen.generation));
}

// --- triggers -----------------------------------------------------------------

void THttpClient::TriggerCookie(const std::string& data) { platform::Fire(OnCookie, this, data); }
void THttpClient::TriggerSessionConnected() { platform::Fire(OnSessionConnected, this); }
void THttpClient::TriggerRequestHeaderBegin() { platform::Fire(OnRequestHeaderBegin, this); }
void THttpClient::TriggerRequestHeaderEnd() { platform::Fire(OnRequestHeaderEnd, this); }

void THttpClient::TriggerHeaderBegin() {
  in_header_ = true;
  platform::Fire(OnHeaderBegin, this);
}

void THttpClient::TriggerHeaderEnd() {
  in_header_ = false;
  platform::Fire(OnHeaderEnd, this);
}

void THttpClient::TriggerDocBegin() { platform::Fire(OnDocBegin, this); }
void THttpClient::TriggerDocData(const char* data, int len) { platform::Fire(OnDocData, this, data, len); }
void THttpClient::TriggerDocEnd() { platform::Fire(OnDocEnd, this); }
void THttpClient::TriggerSendBegin() { platform::Fire(OnSendBegin, this); }
void THttpClient::TriggerSendData(const char* data, int len) { platform::Fire(OnSendData, this, data, len); }
void THttpClient::TriggerSendEnd() { platform::Fire(OnSendEnd, this); }
