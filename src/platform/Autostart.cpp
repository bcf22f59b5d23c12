#include "platform/Autostart.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/Exception.h"
#include "platform/Stream.h"

namespace platform {

namespace {

// Exec= takes a quoted argument in which ", `, $ and \ are escaped by a backslash,
// and the desktop-entry reader first undoes its own \\ escape, so backslashes are
// doubled twice. "%" introduces field codes and is doubled.
std::string QuoteExec(const std::string& program) {
  std::string out = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$') out += "\\\\";
    if (c == '\\') out += "\\\\\\";
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

// Values of a desktop entry are one line each.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\n' || c == '\r') ? ' ' : c;
  return out;
}

// What Exec= holds before the program: the home the entry starts.
std::string ExecHome(const std::filesystem::path& home) {
  return home.empty() ? "" : "env " + QuoteExec("PARLO_HOME=" + OneLine(home.string())) + " ";
}

// A desktop-file id takes letters, digits, "_" and "-".
std::string Readable(const std::string& name) {
  std::string out;
  for (const char c : name.substr(0, 24)) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
    out += plain ? c : '_';
  }
  return out;
}

// FNV-1a: stable from one build and machine to the next, unlike std::hash.
std::uint32_t NameHash(const std::string& name) {
  std::uint32_t h = 2166136261u;
  for (const unsigned char c : name) h = (h ^ c) * 16777619u;
  return h;
}

}  // namespace

std::string AutostartId(const std::string& base, const std::filesystem::path& home) {
  if (home.empty()) return base;
  char hash[9];
  std::snprintf(hash, sizeof hash, "%08x", NameHash(home.string()));
  return base + "-" + Readable(home.filename().string()) + "-" + hash;
}

bool AutostartStarts(const std::string& id, const std::filesystem::path& home) {
  std::ifstream in(AutostartFile(id), std::ios::binary);
  const std::string exec = "Exec=" + ExecHome(home);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Exec=", 0) != 0) continue;
    // The default home's entry sets no home; another's names exactly its own.
    return line.rfind(exec, 0) == 0 && (!home.empty() || line.rfind("Exec=env ", 0) != 0);
  }
  return false;
}

std::filesystem::path AutostartFile(const std::string& id) {
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && std::filesystem::path(xdg).is_absolute())
    config = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    config = std::filesystem::path(home) / ".config";
  else
    config = std::filesystem::current_path() / ".config";
  return config / "autostart" / (id + ".desktop");
}

void SetAutostart(const std::string& id, const std::string& name, const std::filesystem::path& program, bool on,
                  const std::filesystem::path& home) {
  const auto file = AutostartFile(id);
  std::error_code ec;
  if (!on) {
    std::filesystem::remove(file, ec);
    if (ec) throw EStreamError("Cannot remove " + file.string() + ": " + ec.message());
    return;
  }
  std::filesystem::create_directories(file.parent_path(), ec);
  std::ostringstream entry;
  entry << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=" << OneLine(name) << "\n"
        << "Exec=" << ExecHome(home) << QuoteExec(OneLine(program.string())) << "\n"
        << "Terminal=false\n"
        << "X-GNOME-Autostart-enabled=true\n";
  const std::string text = entry.str();
  ReplaceFile(file, text.data(), text.size());
}

std::filesystem::path ProgramFile() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : path;
}

}  // namespace platform
