#pragma once

#include <array>
#include <string>

#include "platform/Font.h"

namespace platform {
class TSoundChannel;
}

// One event sound: its setting, the file it plays by default and its label in the
// preferences.
struct TSoundEventInfo {
  const char* Value;
  const char* DefaultFile;
  const char* Label;
};

inline constexpr int SoundEventCount = 9;
inline constexpr TSoundEventInfo SoundEvent[SoundEventCount] = {
    {"InTextMsgWav", "textin.wav", "Incoming text message"},
    {"OutTextMsgWav", "textout.wav", "Text message sent"},
    {"InPChatRequestWav", "incoming.wav", "Incoming request for private chat"},
    {"InPChatTextWav", "textin.wav", "Text received in private chat"},
    {"OutPChatTextWav", "textout.wav", "Text sent in private chat"},
    {"PChatClosedWav", "closed.wav", "Private chat closed"},
    {"FileInRequestWav", "transfer.wav", "Incoming file transfer request"},
    {"FileDoneWav", "complete.wav", "File transfer complete"},
    {"FriendWav", "friend.wav", "Friend Status Change"},
};

// The sound effects peers send each other by index.
struct TChatSoundInfo {
  const char* File;
  const char* Caption;
};

inline constexpr int ChatSoundCount = 48;
inline constexpr TChatSoundInfo ChatSound[ChatSoundCount] = {
    {"ringin.wav", "Phone"},           {"chikchng.wav", "Cash Register"},   {"ricochet.wav", "Ricochet"},
    {"shotfire.wav", "Gunshot"},       {"laser.wav", "Laser"},              {"bigbang.wav", "Explosion"},
    {"overhead.wav", "Over Head"},     {"typing.wav", "Typewriter"},        {"bigclap.wav", "Big Applause"},
    {"smclap.wav", "Small Applause"},  {"drumroll.wav", "Drum Roll"},       {"brokegls.wav", "Breaking Glass"},
    {"transfer.wav", "File Transfer"}, {"complete.wav", "Complete"},        {"moan.wav", "Moan"},
    {"yehaw.wav", "Yeehaw"},           {"wee.wav", "Weeeee"},               {"dog.wav", "Dog Growling"},
    {"pig.wav", "Pig Oink"},           {"moo.wav", "Cow Moo"},              {"alien.wav", "Aliens"},
    {"ahooga.wav", "Ahooga"},          {"boing.wav", "Boing"},              {"completed.wav", "Completed"},
    {"goodbye.wav", "Goodbye"},        {"ahem.wav", "Ahem"},                {"bighug.wav", "Big Hug"},
    {"biteme.wav", "Bite Me"},         {"blahblah.wav", "Blah Blah Blah"},  {"coffee.wav", "Need Coffee"},
    {"freak.wav", "Freakin Me Out"},   {"ggp.wav", "Got to Pee"},           {"giggle.wav", "Giggle"},
    {"huh.wav", "Huh?"},               {"leak.wav", "Got to Leak"},         {"neener.wav", "Neener Neener"},
    {"ohmy.wav", "Oh My..."},          {"ohyes.wav", "Oh Yes..."},          {"sugah.wav", "Sugah..."},
    {"tazlaugh.wav", "Laughing Out Loud"}, {"wetkiss.wav", "Big Wet Kiss"}, {"wolfwhis.wav", "Wolf Whistle"},
    {"wowman.wav", "Wow Man"},         {"wrong.wav", "Wrong Answer"},       {"yadayada.wav", "Yada Yada"},
    {"yahrite.wav", "Yeah Right"},     {"gitrdone.wav", "Git Er Done"},     {"yesdear.wav", "Yes Dear"},
};

// Where everything lives, the event and chat sounds, the window fonts and
// temporary file names. All folders are under the home folder; like every file
// name the program builds, they are 8-bit text ending in a backslash, turned into
// paths on disk by platform::PathFromName.
class TPaths {
 public:
  // Computes the names, creates the folders (all but CamImages) and puts the
  // default pictures and sounds into a home that lacks them.
  TPaths();

  platform::TFont Font;  // filled by LoadWindowFont
  std::string AppPath;
  std::string FilesPath, ImagesPath, SoundsPath, CamImagesPath, DataPath, TmpFilesPath;
  std::string RingIn = "ringin.wav";
  std::string BlockedFile, GroupsFile;
  // The file of each event sound (SoundEvent order); "none" silences the event.
  std::array<std::string, SoundEventCount> EventSounds;
  bool NoSound = false;
  std::string MessagesFile, IncomingFile, UpdateFile, HelpFile;
  std::string UpdatesPath;

  // Event sounds cut off what is playing; chat sounds and previews are dropped
  // while anything plays. Indexes outside the tables (a peer may send any) play
  // nothing.
  void PlayEventSound(int event);
  void PlayChatSound(int index);
  // Plays whatever the sound switch says (the preview in the preferences).
  void PlaySoundFile(const std::string& file);

  // Settings section "Settings\Fonts": <prefix>Font, Color, Size, Style. The
  // result is the shared Font, overwritten by the next call.
  const platform::TFont& LoadWindowFont(const std::string& prefix, platform::TColor defaultColor);
  void SaveWindowFont(const std::string& prefix, const platform::TFont& font);

  // A new, empty file in folder named prefix + a unique part + extension, created
  // exclusively so that no existing file is ever reused. Raises
  // platform::EStreamError when no file can be created there.
  std::string MakeTempFileName(const std::string& folder, const std::string& prefix, const std::string& extension);

  // Creates a folder and its parents; failure is left to whoever writes there.
  static void ForceFolder(const std::string& folder);

  // Where sounds go: the process's sound card unless a test says otherwise.
  void SetSoundChannel(platform::TSoundChannel* channel) { channel_ = channel; }

 private:
  platform::TSoundChannel* channel_;
};

extern TPaths* Paths;
