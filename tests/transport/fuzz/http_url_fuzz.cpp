// Addresses and Location values as a server sends them. Whatever they hold:
// no crash, a followed redirection is again an http address that reads back
// to the same host, and a document name is one plain file name, never a path
// that climbs out of the folder it is saved in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transport/HttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // "value\nbase path": the base is what a relative address is taken against.
  const std::size_t nl = bytes.find('\n');
  const std::string value = bytes.substr(0, nl);
  const std::string base = nl == std::string::npos ? "/" : bytes.substr(nl + 1);

  std::string proto, user, pass, host, port, path = base;
  ParseURL(value, proto, user, pass, host, port, path);
  if (!proto.empty() && proto.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos) std::abort();

  const std::string location = HttpResolveLocation(value, "example.test", "8080", base);
  if (!location.empty()) {
    if (location.compare(0, 7, "http://") != 0) std::abort();
    std::string p2, u2, w2, h2, o2, path2;
    ParseURL(location, p2, u2, w2, h2, o2, path2);
    if (p2 != "http") std::abort();
  }

  for (const std::string* p : {static_cast<const std::string*>(&path), &base, &value}) {
    const std::string name = HttpDocName(*p);
    if (name.empty() || name.size() > 255 || name == "." || name == ".." ||
        name.find('/') != std::string::npos)
      std::abort();
  }
  return 0;
}
