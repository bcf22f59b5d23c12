#include "BenchCorpus.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::string Gunzip(const fs::path& p) {
  std::string out;
  gzFile g = gzopen(p.c_str(), "rb");
  if (!g) return out;
  char buf[65536];
  int n;
  while ((n = gzread(g, buf, sizeof buf)) > 0) out.append(buf, n);
  gzclose(g);
  return out;
}

// Walks the roots in a fixed order (sorted names), taking what `take` makes
// of each regular file, until minBytes are gathered.
std::string Gather(const std::vector<fs::path>& roots, size_t minBytes,
                   const std::function<std::string(const fs::path&)>& take) {
  std::string out;
  for (const auto& root : roots) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         it != end; it.increment(ec)) {
      if (ec) break;
      if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      out += take(f);
      if (out.size() >= minBytes) return out;
    }
  }
  if (out.empty()) out = std::string(4096, 'x');
  std::string base = out;
  while (out.size() < minBytes) out += base;
  return out;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string TextCorpus(size_t minBytes) {
  return Gather({"/usr/share/doc", "/usr/share/common-licenses"}, minBytes, [](const fs::path& p) {
    std::string name = p.filename().string();
    if (EndsWith(name, ".gz")) return Gunzip(p);
    if (EndsWith(name, ".html") || EndsWith(name, ".txt") || name.find('.') == std::string::npos) return ReadFile(p);
    return std::string();
  });
}

std::string SourceCorpus(size_t minBytes) {
  return Gather({"/usr/include"}, minBytes, [](const fs::path& p) {
    std::string name = p.filename().string();
    return EndsWith(name, ".h") || EndsWith(name, ".hpp") ? ReadFile(p) : std::string();
  });
}

std::string BinaryCorpus(size_t minBytes) {
  return Gather({"/usr/lib/x86_64-linux-gnu", "/usr/bin"}, minBytes, [](const fs::path& p) {
    std::string name = p.filename().string();
    return name.find(".so") != std::string::npos || p.parent_path() == "/usr/bin" ? ReadFile(p) : std::string();
  });
}

std::string CompressedCorpus(size_t minBytes) {
  return Gather({"/usr/share/man", "/usr/share/doc"}, minBytes, [](const fs::path& p) {
    return EndsWith(p.filename().string(), ".gz") ? ReadFile(p) : std::string();
  });
}

}  // namespace bench
