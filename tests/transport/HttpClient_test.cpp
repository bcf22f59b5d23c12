#include "transport/HttpClient.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "platform/Stream.h"
#include "transport/NetSocket.h"
#include "transport/http_socks_helpers.h"

using namespace httpsocks;

namespace {

// Everything one request reported, in order.
struct Recorder {
  std::vector<std::string> events;
  std::string body;
  int done_count = 0;
  int done_error = -1;
  int header_ends = 0;
  int largest_chunk = 0;

  void Attach(THttpClient& c) {
    c.OnHeaderBegin = [this](THttpClient*) { events.push_back("HeaderBegin"); };
    c.OnHeaderEnd = [this](THttpClient*) {
      ++header_ends;
      events.push_back("HeaderEnd");
    };
    c.OnDocBegin = [this](THttpClient*) { events.push_back("DocBegin"); };
    c.OnDocData = [this](THttpClient*, const char* data, int len) {
      if (events.empty() || events.back() != "DocData") events.push_back("DocData");
      body.append(data, static_cast<std::size_t>(len));
      largest_chunk = std::max(largest_chunk, len);
    };
    c.OnDocEnd = [this](THttpClient*) { events.push_back("DocEnd"); };
    c.OnRequestDone = [this](THttpClient*, THttpRequest, int error) {
      events.push_back("RequestDone");
      ++done_count;
      done_error = error;
    };
  }
  bool Has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
};

// Runs one GET to its end.
void Get(THttpClient& c, Recorder& r, const std::string& url) {
  c.URL = url;
  c.GetASync();
  ASSERT_TRUE(httpsocks::PumpUntil([&] { return r.done_count > 0; }, 20000)) << url;
}

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApp(); }
};

}  // namespace

TEST(HttpUrl, ParseURLSplitsAddresses) {
  struct Case {
    std::string url, base, proto, user, pass, host, port, path;
  } cases[] = {
      {"http://www.host.com/dir/file.exe", "", "http", "", "", "www.host.com", "", "/dir/file.exe"},
      {"http://u:p@host:8080/a?b=/c", "", "http", "u", "p", "host", "8080", "/a?b=/c"},
      {"http://host?q=1", "", "http", "", "", "host", "", "?q=1"},
      {"HTTP://Host:81", "", "http", "", "", "Host", "81", ""},
      {"ftp://files.host/x", "", "ftp", "", "", "files.host", "", "/x"},
      {"host.com:99/p", "", "http", "", "", "host.com", "99", "/p"},
      {"/abs/path", "", "http", "", "", "", "", "/abs/path"},
      {"//other/x", "", "http", "", "", "other", "", "/x"},
      {"mailto:someone@host", "", "mailto", "", "", "", "", ""},
      {"./b.txt", "/dir/a.txt", "", "", "", "", "", "/dir/b.txt"},
      {"../../up.txt", "/a/b/c/page", "", "", "", "", "", "/a/up.txt"},
      {"", "/keep", "", "", "", "", "", ""},
  };
  for (const auto& c : cases) {
    std::string proto, user, pass, host, port, path = c.base;
    ParseURL(c.url, proto, user, pass, host, port, path);
    EXPECT_EQ(proto, c.proto) << c.url;
    EXPECT_EQ(user, c.user) << c.url;
    EXPECT_EQ(pass, c.pass) << c.url;
    EXPECT_EQ(host, c.host) << c.url;
    EXPECT_EQ(port, c.port) << c.url;
    EXPECT_EQ(path, c.path) << c.url;
  }
  EXPECT_EQ(Posn("/", "/a/b/c", 2), 3);
  EXPECT_EQ(Posn("/", "/a/b/c", -1), 5);
  EXPECT_EQ(Posn("/", "/a/b/c", 4), 0);
}

TEST(HttpUrl, DocNamesAndRelocationTargets) {
  const std::pair<std::string, std::string> names[] = {
      {"/", "document.htm"},         {"/dir/", "document.htm"}, {"/dir/setup.exe?v=2", "setup.exe"},
      {"/a/..", "document.htm"},     {"/f.zip", "f.zip"},       {"/" + std::string(300, 'n'), std::string(255, 'n')},
  };
  for (const auto& [path, name] : names) EXPECT_EQ(HttpDocName(path), name) << path;

  struct Case {
    std::string value, expected;
  } cases[] = {
      {"/new/place", "http://h:8080/new/place"},
      {"sibling.exe", "http://h:8080/dir/sibling.exe"},
      {"../up.txt", "http://h:8080/up.txt"},
      {"http://other/x", "http://other/x"},
      {"http://other:81/x", "http://other:81/x"},
      {"//third/y", "http://third/y"},
      {"https://secure/z", ""},
      {"ftp://files/z", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(HttpResolveLocation(c.value, "h", "8080", "/dir/page?q=a/b"), c.expected) << c.value;
}

TEST_F(HttpClientTest, DownloadsFromNginxByteIdenticalToCurl) {
  TempDir root;
  std::mt19937 rng(7);
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (auto& ch : big) ch = static_cast<char>(rng());
  std::filesystem::create_directories(root.Path() + "/dir");
  WriteFile(root.Path() + "/big.bin", big);
  WriteFile(root.Path() + "/setup.exe", "MZ fake installer");
  WriteFile(root.Path() + "/dir/index.html", "<html>index</html>");
  WriteFile(root.Path() + "/empty.bin", "");
  Nginx nginx;
  const int port = nginx.Start(root.Path());
  ASSERT_NE(port, 0) << "nginx did not start";
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  struct Case {
    std::string path, file, doc_name;
  } cases[] = {
      {"/big.bin", "big.bin", "big.bin"},
      {"/setup.exe?v=3", "setup.exe", "setup.exe"},
      {"/dir/", "dir/index.html", "document.htm"},
      {"/empty.bin", "empty.bin", "empty.bin"},
  };
  THttpClient client;
  for (const auto& c : cases) {
    Recorder r;
    r.Attach(client);
    TMemoryStream stream;
    client.RcvdStream = &stream;
    Get(client, r, base + c.path);
    TempDir out;
    ASSERT_EQ(httpsocks::Run({"curl", "-s", "-o", out.Path() + "/curl", base + c.path}), 0);
    const std::string expected = ReadFile(out.Path() + "/curl");
    ASSERT_EQ(expected, ReadFile(root.Path() + "/" + c.file));
    EXPECT_EQ(client.StatusCode(), 200) << c.path;
    EXPECT_EQ(r.done_error, 0) << c.path;
    EXPECT_EQ(client.ContentLength(), static_cast<std::int64_t>(expected.size())) << c.path;
    EXPECT_TRUE(r.body == expected) << c.path << ": " << r.body.size() << " bytes, curl " << expected.size();
    EXPECT_TRUE(stream.ToString() == expected) << c.path;
    EXPECT_EQ(client.DocName(), c.doc_name) << c.path;
    std::vector<std::string> order = {"HeaderBegin", "HeaderEnd", "DocBegin", "DocData", "DocEnd", "RequestDone"};
    if (expected.empty()) order = {"HeaderBegin", "HeaderEnd", "RequestDone"};
    EXPECT_EQ(r.events, order) << c.path;
    // A download's progress moves a receive buffer at a time.
    EXPECT_LE(r.largest_chunk, 8192) << c.path;
    EXPECT_EQ(client.State(), httpReady);
  }
}

TEST_F(HttpClientTest, ErrorStatusDeliversNoDocument) {
  TempDir root;
  Nginx nginx;
  const int port = nginx.Start(root.Path());
  ASSERT_NE(port, 0);
  ScriptPeer script;
  ASSERT_NE(script.Start("http_script_server.py"), 0);
  const std::string urls[] = {"http://127.0.0.1:" + std::to_string(port) + "/missing.exe",
                              "http://127.0.0.1:" + std::to_string(script.Port()) + "/error"};
  for (const auto& url : urls) {
    THttpClient client;
    Recorder r;
    r.Attach(client);
    Get(client, r, url);
    EXPECT_EQ(client.StatusCode(), 404) << url;
    EXPECT_EQ(r.events, (std::vector<std::string>{"HeaderBegin", "HeaderEnd", "RequestDone"})) << url;
    EXPECT_TRUE(r.body.empty()) << url;
  }
}

// Servers that misbehave, cut the document short or redirect: a failure must
// never look like a finished document. A page sent with no header at all is
// the document, byte for byte.
TEST_F(HttpClientTest, ScriptedResponses) {
  ScriptPeer script;
  const int port = script.Start("http_script_server.py");
  ASSERT_NE(port, 0);
  struct Case {
    std::string path;
    int error;        // RequestDoneError; -1: any socket error
    int status;
    std::size_t body;  // bytes delivered
    int header_ends;
    std::string page;  // the exact body, where it is no pattern
  } cases[] = {
      {"/nolength/70000", 0, 200, 70000, 1, ""},
      {"/split/20000", 0, 200, 20000, 1, ""},
      {"/chain/4", 0, 200, 100, 5, ""},
      {"/short/1000/600", httperrIncomplete, 404, 600, 1, ""},
      {"/long/600/1000", 0, 200, 1000, 1, ""},
      {"/reset/300000/200000", -1, 404, 0, 1, ""},
      {"/loop", httperrTooManyRelocations, 404, 0, 6, ""},
      {"/https", httperrUnsupportedUrl, 404, 0, 1, ""},
      {"/noheader", 0, 0, 48, 1, "<HTML>\r\n<body>no header at all</body>\r\n</HTML>\r\n"},
      {"/nostatus", 0, 0, 4, 1, "body"},
      {"/cuthead", 0, 200, 10, 2, ""},
      {"/longline", httperrLineTooLong, 404, 0, 0, ""},
  };
  for (const auto& c : cases) {
    THttpClient client;
    Recorder r;
    r.Attach(client);
    Get(client, r, "http://127.0.0.1:" + std::to_string(port) + c.path);
    if (c.error == -1) {
      EXPECT_TRUE(r.done_error == httperrIncomplete || r.done_error >= 10000) << c.path << ": " << r.done_error;
    } else {
      EXPECT_EQ(r.done_error, c.error) << c.path << ": " << client.ReasonPhrase();
    }
    EXPECT_EQ(client.StatusCode(), c.status) << c.path;
    if (c.error != -1) {
      EXPECT_EQ(r.body.size(), c.body) << c.path;
    }
    if (!c.page.empty()) EXPECT_EQ(r.body, c.page);
    else EXPECT_TRUE(r.body == Pattern(r.body.size()) || c.path == "/chain/4") << c.path;
    EXPECT_EQ(r.header_ends, c.header_ends) << c.path;
    EXPECT_EQ(r.Has("DocEnd"), c.error == 0) << c.path;
    EXPECT_EQ(r.done_count, 1) << c.path;
  }
}

TEST_F(HttpClientTest, SendsPlainGetAndNamesTheDocument) {
  ScriptPeer script;
  const int port = script.Start("http_script_server.py");
  ASSERT_NE(port, 0);
  THttpClient client;
  Recorder r;
  r.Attach(client);
  Get(client, r, "http://127.0.0.1:" + std::to_string(port) + "/echo");
  EXPECT_EQ(r.body,
            "GET /echo HTTP/1.0\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible)\r\nHost: 127.0.0.1\r\n\r\n");

  // A relative relocation keeps the server's port.
  Recorder r2;
  r2.Attach(client);
  Get(client, r2, "http://127.0.0.1:" + std::to_string(port) + "/chain/2");
  EXPECT_EQ(r2.done_error, 0) << client.ReasonPhrase();
  EXPECT_EQ(client.Location(), "http://127.0.0.1:" + std::to_string(port) + "/chain/0");
  EXPECT_EQ(client.DocName(), "0");

  // An installer name that comes back as a web page is saved as one.
  Recorder r3;
  r3.Attach(client);
  Get(client, r3, "http://127.0.0.1:" + std::to_string(port) + "/html/setup.exe");
  EXPECT_EQ(client.DocName(), "setup.htm");
  EXPECT_EQ(r3.body, "<html>a page</html>");
}

TEST_F(HttpClientTest, AbortEndsTheRequestOnce) {
  ScriptPeer script;
  const int port = script.Start("http_script_server.py");
  ASSERT_NE(port, 0);
  {
    // During the name look-up.
    THttpClient client;
    Recorder r;
    r.Attach(client);
    client.URL = "http://localhost:" + std::to_string(port) + "/ok/10";
    client.GetASync();
    EXPECT_EQ(client.State(), httpDnsLookup);
    client.Abort();
    EXPECT_TRUE(httpsocks::PumpUntil([&] { return r.done_count > 0; }));
    httpsocks::PumpUntil([] { return false; }, 200);
    EXPECT_EQ(r.done_count, 1);
    EXPECT_EQ(r.done_error, httperrAborted);
    EXPECT_EQ(client.StatusCode(), 404);
    EXPECT_FALSE(r.Has("HeaderEnd"));
  }
  {
    // In the middle of the body: the owner still hears of the document end.
    THttpClient client;
    Recorder r;
    r.Attach(client);
    client.OnDocData = [&](THttpClient* c, const char*, int) {
      r.events.push_back("DocData");
      c->Abort();
    };
    Get(client, r, "http://127.0.0.1:" + std::to_string(port) + "/hold/5000");
    httpsocks::PumpUntil([] { return false; }, 200);
    EXPECT_EQ(r.events, (std::vector<std::string>{"HeaderBegin", "HeaderEnd", "DocBegin", "DocData", "DocEnd",
                                                  "RequestDone"}));
    EXPECT_EQ(r.done_error, httperrAborted);
  }
}

TEST_F(HttpClientTest, FailuresBeforeAnyResponse) {
  const int closed_port = FreeLoopbackPort();
  struct Case {
    std::string url;
    int error;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(closed_port) + "/x", 10061},
      {"ftp://127.0.0.1/file.zip", httperrUnsupportedUrl},
      {"http://127.0.0.1:99999/", httperrUnsupportedUrl},
      {"http://127.0.0.1/a b", httperrUnsupportedUrl},
  };
  THttpClient client;
  for (const auto& c : cases) {
    Recorder r;
    r.Attach(client);
    client.URL = c.url;
    client.GetASync();
    EXPECT_EQ(r.done_count, 0) << "request done must come from the event loop";
    EXPECT_THROW(client.GetASync(), EHttpException);
    ASSERT_TRUE(httpsocks::PumpUntil([&] { return r.done_count > 0; }));
    EXPECT_EQ(r.done_error, c.error) << c.url;
    EXPECT_EQ(client.StatusCode(), 404) << c.url;
    EXPECT_EQ(client.State(), httpReady);
  }
}

namespace {

// A disk that is full.
class FullStream : public TMemoryStream {
 public:
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
};

}  // namespace

// Owners free the component or fail inside its events (a window closing on
// Cancel, a full disk): the request ends cleanly and nothing is used after it
// has gone.
TEST_F(HttpClientTest, OwnerMayFreeOrFailInsideEvents) {
  ScriptPeer script;
  const int port = script.Start("http_script_server.py");
  ASSERT_NE(port, 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/ok/200000";
  for (const std::string where : {"HeaderEnd", "DocBegin", "DocData", "DocEnd", "RequestDone"}) {
    auto* client = new THttpClient;
    bool freed = false;
    // The handler goes with the component: nothing of it is touched after.
    auto free_it = [&](THttpClient* c) {
      freed = true;
      delete c;
    };
    if (where == "HeaderEnd") client->OnHeaderEnd = free_it;
    if (where == "DocBegin") client->OnDocBegin = free_it;
    if (where == "DocData") client->OnDocData = [&](THttpClient* c, const char*, int) { free_it(c); };
    if (where == "DocEnd") client->OnDocEnd = free_it;
    if (where == "RequestDone") client->OnRequestDone = [&](THttpClient* c, THttpRequest, int) { free_it(c); };
    client->URL = url;
    client->GetASync();
    EXPECT_TRUE(httpsocks::PumpUntil([&] { return freed; })) << where;
    httpsocks::PumpUntil([] { return false; }, 50);
  }

  THttpClient client;
  Recorder r;
  r.Attach(client);
  FullStream full;
  client.RcvdStream = &full;
  Get(client, r, url);
  EXPECT_EQ(r.done_error, httperrHandlerFailed);
  EXPECT_EQ(client.StatusCode(), 404);
  EXPECT_FALSE(r.Has("DocEnd"));
}

// What the request carries beyond a plain GET (a posted body, a proxy's
// whole address, credentials, a cookie, a range), and what is read from an
// answer beyond its document.
TEST_F(HttpClientTest, PostHeadProxyAndHeaderFields) {
  ScriptPeer script;
  const int port = script.Start("http_script_server.py");
  ASSERT_NE(port, 0);
  const std::string server = "127.0.0.1:" + std::to_string(port);
  const std::string accept_agent =
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
      "User-Agent: Mozilla/3.0 (compatible)\r\n";

  THttpClient client;
  Recorder r;
  r.Attach(client);
  TMemoryStream form;
  form.WriteString("a=1&b=%20");
  client.SendStream = &form;
  std::vector<std::string> sends;
  client.OnSendBegin = [&](THttpClient*) { sends.push_back("begin"); };
  client.OnSendEnd = [&](THttpClient*) { sends.push_back("end"); };
  client.URL = "http://" + server + "/echo";
  client.PostASync();
  ASSERT_TRUE(httpsocks::PumpUntil([&] { return r.done_count > 0; }));
  EXPECT_EQ(r.body, "POST /echo HTTP/1.0\r\n" + accept_agent.substr(0, accept_agent.find("User")) +
                        "Content-Type: application/x-www-form-urlencoded\r\nUser-Agent: Mozilla/3.0 (compatible)\r\n"
                        "Host: 127.0.0.1\r\nContent-Length: 9\r\n\r\na=1&b=%20");
  EXPECT_EQ(sends, (std::vector<std::string>{"begin", "end"}));
  EXPECT_EQ(client.SentCount(), 9);

  Recorder proxied;
  proxied.Attach(client);
  client.Proxy = server;
  client.ProxyUsername = "pu";
  client.ProxyPassword = "pp";
  client.Cookie = "id=7";
  client.ContentRangeBegin = "5";
  client.URL = "http://u:p@files.example:8080/echo?x";
  client.GetASync();
  ASSERT_TRUE(httpsocks::PumpUntil([&] { return proxied.done_count > 0; }));
  EXPECT_EQ(proxied.body, "GET http://files.example:8080/echo?x HTTP/1.0\r\n" + accept_agent +
                              "Host: files.example\r\nAuthorization: Basic dTpw\r\n"
                              "Proxy-Authorization: Basic cHU6cHA=\r\nCookie: id=7\r\nRange: bytes=5-\r\n\r\n");
  EXPECT_TRUE(client.ContentRangeBegin.empty());

  // HEAD: the size of a document that does not come.
  THttpClient head;
  Recorder h;
  h.Attach(head);
  head.URL = "http://" + server + "/ok/50";
  head.HeadASync();
  ASSERT_TRUE(httpsocks::PumpUntil([&] { return h.done_count > 0; }));
  EXPECT_EQ(h.done_error, 0);
  EXPECT_EQ(head.StatusCode(), 200);
  EXPECT_EQ(head.ContentLength(), 50);
  EXPECT_EQ(h.events, (std::vector<std::string>{"HeaderBegin", "HeaderEnd", "RequestDone"}));

  THttpClient fields;
  Recorder f;
  f.Attach(fields);
  std::string cookie;
  fields.OnCookie = [&](THttpClient*, const std::string& data) { cookie = data; };
  Get(fields, f, "http://" + server + "/fields");
  EXPECT_EQ(f.body.size(), 100u);
  EXPECT_EQ(cookie, "id=1; path=/");
  EXPECT_EQ(fields.ContentRangeBegin, "100");
  EXPECT_EQ(fields.ContentRangeEnd, "199");
  EXPECT_EQ(fields.AcceptRanges(), "bytes");
  ASSERT_EQ(fields.WWWAuthenticate().Count(), 2);
  EXPECT_EQ(fields.WWWAuthenticate()[1], "Digest realm=\"b\"");
}

TEST_F(HttpClientTest, BlockingRequestsAndMisuse) {
  ScriptPeer script;
  const int port = script.Start("http_script_server.py");
  ASSERT_NE(port, 0);
  THttpClient client;
  try {
    client.PostASync();
    ADD_FAILURE() << "a POST without a body started";
  } catch (const EHttpException& e) {
    EXPECT_STREQ(e.what(), "HTTP component has nothing to post");
    EXPECT_EQ(e.ErrorNumber, 2);
  }
  TMemoryStream body;
  client.RcvdStream = &body;
  client.URL = "http://127.0.0.1:" + std::to_string(port) + "/ok/300";
  client.Get();
  EXPECT_EQ(client.State(), httpReady);
  EXPECT_EQ(body.ToString(), Pattern(300));
  client.URL = "http://127.0.0.1:" + std::to_string(port) + "/error";
  try {
    client.Get();
    ADD_FAILURE() << "a 404 page passed as a document";
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorNumber, 404);
    EXPECT_STREQ(e.what(), "Not Found");
  }
}
