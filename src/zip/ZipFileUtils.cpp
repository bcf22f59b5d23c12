#include "zip/ZipFileUtils.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include <sys/stat.h>

#include "platform/DesktopPrompts.h"
#include "platform/FileNames.h"

#include "zip/BufferStream.h"
#include "zip/ZipStreams.h"

namespace zip {

namespace {

// Rates come from sizes an archive states, which may be absurd: clamp in floating
// point before converting, so no value falls outside an int.
int ClampRate(double r) {
  if (!(r <= 100)) return 100;
  if (r < static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(r);
}

}  // namespace

int CRate(int64_t whole, int64_t part) {
  if (whole < 1) return 0;
  return ClampRate(std::nearbyint(static_cast<double>(part) * 100.0 / static_cast<double>(whole)));
}

int CBigRate(double whole, double part) {
  if (!(whole > 0)) return 0;
  return ClampRate(std::nearbyint(part * 100.0 / whole));
}

std::string& DOSToUnixFilename(std::string& p) {
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

std::string& UnixToDOSFilename(std::string& p) {
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string RightStr(const std::string& s, size_t n) { return n >= s.size() ? s : s.substr(s.size() - n); }

std::string LeftStr(const std::string& s, size_t n) { return s.substr(0, n); }

bool IsWildCard(const std::string& s) { return s.find_first_of("*?<>|") != std::string::npos; }

uint32_t GoodTimeStamp(uint32_t dos) {
  uint32_t date = dos >> 16, time = dos & 0xFFFF;
  uint32_t year = date >> 9, month = (date >> 5) & 15, day = date & 31;
  uint32_t hour = time >> 11, minute = (time >> 5) & 63, sec2 = time & 31;
  bool changed = false;
  auto clamp = [&changed](uint32_t& v, uint32_t hi) {
    if (v > hi) { v = hi; changed = true; }
  };
  clamp(hour, 23);
  clamp(minute, 59);
  clamp(sec2, 29);
  clamp(year, 2099 - 1980);
  clamp(month, 12);
  if (month == 0) { month = 1; changed = true; }
  if (day == 0) { day = 1; changed = true; }
  if (!changed) return dos;
  date = (year << 9) | (month << 5) | day;
  time = (hour << 11) | (minute << 5) | sec2;
  return (date << 16) | time;
}

platform::TDateTime FileDate(const std::string& fileName) {
  const auto dos = platform::FileDosDate(fileName);
  platform::TDateTime out = 0;
  if (dos && platform::DosDateTimeToDateTime(GoodTimeStamp(*dos), out)) return out;
  return platform::Now();
}

bool ForceDirs(const std::string& path) {
  std::string p = platform::DosToUnixPath(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty() || platform::DirExists(p)) return true;
  std::error_code ec;
  std::filesystem::create_directories(platform::OsPath(p), ec);
  return std::filesystem::is_directory(platform::OsPath(p), ec);
}

bool File_Exists(const std::string& name) { return platform::PlainFileExists(name); }

bool DirExists(const std::string& name) { return platform::DirExists(name); }

bool DoRenameCopy(const std::string& source, const std::string& dest) {
  // rename() replaces Dest in one step, so no "$$$" stand-in is ever left behind.
  return platform::RenameFile(source, dest);
}

bool RenameOver(const std::string& temp, const std::string& target) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status old = fs::status(platform::OsPath(target), ec);
  if (!ec && fs::is_regular_file(old)) fs::permissions(platform::OsPath(temp), old.permissions(), ec);
  return platform::RenameFile(temp, target);
}

void WriteWholeFile(const std::string& target, const std::function<void(TLFNFileStream&)>& write) {
  const std::string folder = platform::ExtractFilePath(target);
  auto created = TFileStream::CreateTemp(folder.empty() ? platform::CurrentDir() : folder, ".pzw", target);
  const std::string temp = created->FileName();
  try {
    TLFNFileStream file(std::move(created), false, 65536);
    write(file);
    if (!file.FinishWrites() || !file.FileStream().File().FlushToDisk()) throw EStreamError("Stream write error");
  } catch (...) {
    platform::RemoveFile(temp);
    throw;
  }
  if (!RenameOver(temp, target)) {
    platform::RemoveFile(temp);
    throw EStreamError("Cannot create file \"" + target + "\".");
  }
}

static bool CopyBytes(const std::string& source, const std::string& dest) {
  try {
    TFileStream in(source, platform::fmOpenRead);
    WriteWholeFile(dest, [&](TLFNFileStream& out) {
      std::vector<uint8_t> buf(65536);
      int64_t total = 0;
      for (int64_t n; (n = in.Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0; total += n)
        out.WriteBuffer(buf.data(), n);
      if (total != in.Size()) throw EStreamError("Stream read error");
    });
    return true;
  } catch (const platform::Exception&) {
    return false;
  }
}

bool FileCopy(const std::string& source, const std::string& dest) {
  if (DoRenameCopy(source, dest) || CopyBytes(source, dest)) return true;
  platform::ShowMessage("Could not copy from " + source + " -> " + dest, "Error");
  return false;
}

int GetDirectory(int, std::string& dir) {
  dir = platform::CurrentDir();
  return dir.empty() ? 2 : 0;
}

int ChDirectory(const std::string& dir) { return platform::SetCurrentDir(dir) ? 0 : 2; }

std::string LFN_ConvertLFName(const std::string& name, TConversionOperation) { return name; }

std::string TempFileName(const std::string& path) { return platform::CreateTempFile(path, "pzt"); }

void OemFilter(std::string& s) { s = platform::OemToAnsi(platform::AnsiToOem(s)); }

bool BlockCompare(const void* a, const void* b, size_t count) { return std::memcmp(a, b, count) == 0; }

std::string PCharToStr(const std::optional<std::string>& p) { return p.value_or(std::string()); }

std::optional<std::string> StrToPChar(const std::string& s) {
  if (s.empty()) return std::nullopt;
  return s;
}

}  // namespace zip
