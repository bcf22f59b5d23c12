#include "core/session/Paths.h"

#include "core/session/ErrorLog.h"
#include "core/session/Reg.h"
#include "platform/AppHome.h"
#include "platform/Charset.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/Sound.h"
#include "resources/Resources.h"

TPaths* Paths = nullptr;

namespace {

// Style numbers as stored: the sum of bold 1, italic 3, underline 5 and
// strike-out 11. The summands are chosen so that every combination has its own
// sum; any other number means no style.
constexpr int kBold = 1, kItalic = 3, kUnderline = 5, kStrikeOut = 11;

int StyleNumber(const platform::TFont& font) {
  return (font.Bold ? kBold : 0) + (font.Italic ? kItalic : 0) + (font.Underline ? kUnderline : 0) +
         (font.StrikeOut ? kStrikeOut : 0);
}

void ApplyStyleNumber(int number, platform::TFont& font) {
  font.Bold = font.Italic = font.Underline = font.StrikeOut = false;
  for (int mask = 0; mask < 16; ++mask) {
    platform::TFont candidate;
    candidate.Bold = mask & 1, candidate.Italic = mask & 2, candidate.Underline = mask & 4,
    candidate.StrikeOut = mask & 8;
    if (mask != 0 && StyleNumber(candidate) == number) {
      font.Bold = candidate.Bold, font.Italic = candidate.Italic, font.Underline = candidate.Underline,
      font.StrikeOut = candidate.StrikeOut;
      return;
    }
  }
}

}  // namespace

TPaths::TPaths() : channel_(&platform::TSoundChannel::Process()) {
  AppPath = platform::IncludeTrailingPathDelimiter(platform::NameFromPath(platform::AppHome()));
  FilesPath = AppPath + "Files\\";
  ImagesPath = AppPath + "Images\\";
  SoundsPath = AppPath + "Sounds\\";
  DataPath = AppPath + "Data\\";
  TmpFilesPath = AppPath + "TmpFiles\\";
  CamImagesPath = AppPath + "CamImages\\";
  UpdatesPath = AppPath + "Updates\\";
  for (const auto* folder : {&FilesPath, &ImagesPath, &SoundsPath, &DataPath, &TmpFilesPath, &UpdatesPath})
    ForceFolder(*folder);
  BlockedFile = DataPath + "blocked.parlo";
  GroupsFile = DataPath + "groups.grp";
  MessagesFile = DataPath + "messages.msg";
  IncomingFile = DataPath + "incoming.msg";
  UpdateFile = DataPath + "update.ini";
  HelpFile = AppPath + "parlohelp.hlp";
  try {
    resources::InstallDefaults(platform::PathFromName(AppPath));
  } catch (const platform::Exception& e) {
    LogError("None", "None", std::string("Installing the default pictures and sounds: ") + e.what());
  }
}

void TPaths::PlayEventSound(int event) {
  if (NoSound || event < 0 || event >= SoundEventCount) return;
  const std::string& name = EventSounds[static_cast<size_t>(event)];
  // An empty name is an event the settings have not filled yet: nothing to play.
  if (name == "none" || name.empty()) return;
  channel_->Play(SoundsPath + name, platform::TSoundChannel::Mode::Interrupt);
}

void TPaths::PlayChatSound(int index) {
  if (NoSound || index < 0 || index >= ChatSoundCount) return;
  channel_->Play(SoundsPath + ChatSound[index].File, platform::TSoundChannel::Mode::SkipIfBusy);
}

void TPaths::PlaySoundFile(const std::string& file) {
  channel_->Play(file, platform::TSoundChannel::Mode::SkipIfBusy);
}

const platform::TFont& TPaths::LoadWindowFont(const std::string& prefix, platform::TColor defaultColor) {
  Font.Name = TReg::ReadString(TReg::FontsSection, prefix + "Font", "Verdana");
  const std::string color =
      TReg::ReadString(TReg::FontsSection, prefix + "Color", platform::ColorToString(defaultColor));
  if (auto parsed = platform::StringToColor(color)) {
    Font.Color = *parsed;
  } else {
    LogError("None", "None", "Setting " + prefix + "Color: \"" + color + "\" is no colour; the default is used");
    Font.Color = defaultColor;
  }
  Font.Size = TReg::ReadInteger(TReg::FontsSection, prefix + "Size", 8);
  ApplyStyleNumber(TReg::ReadInteger(TReg::FontsSection, prefix + "Style", 0), Font);
  return Font;
}

void TPaths::SaveWindowFont(const std::string& prefix, const platform::TFont& font) {
  TReg::WriteString(TReg::FontsSection, prefix + "Font", font.Name);
  TReg::WriteString(TReg::FontsSection, prefix + "Color", platform::ColorToString(font.Color));
  TReg::WriteInteger(TReg::FontsSection, prefix + "Size", font.Size);
  TReg::WriteInteger(TReg::FontsSection, prefix + "Style", StyleNumber(font));
}

std::string TPaths::MakeTempFileName(const std::string& folder, const std::string& prefix,
                                     const std::string& extension) {
  return platform::CreateUniqueFile(folder, prefix, extension);
}

void TPaths::ForceFolder(const std::string& folder) { platform::ForceDirectories(folder); }
