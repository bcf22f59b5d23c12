#include "videocapture/engine/MediaModule.h"

#include <dlfcn.h>

#include <mutex>
#include <vector>

#include "platform/Autostart.h"
#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "videocapture/engine/MediaFile.h"

namespace videocapture::engine {

namespace {

struct ModuleState {
  std::mutex mutex;
  std::filesystem::path only;  // the tests' place, when they set one
  const TMediaReaders* readers = nullptr;  // from the usual places
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

// The program's own folder first, so that an installed program takes the
// module installed with it; then the build's, for the tests and benches that
// run from folders of their own.
std::vector<std::filesystem::path> UsualPlaces() {
  const std::filesystem::path built = PARLO_MEDIA_MODULE_BUILT;
  std::vector<std::filesystem::path> places;
  const std::filesystem::path program = platform::ProgramFile();
  if (!program.empty() && program.parent_path() != built.parent_path())
    places.push_back(program.parent_path() / built.filename());
  places.push_back(built);
  return places;
}

// The first module found is the one meant: one that is there but will not
// load is a reason to give, not to go on looking.
const TMediaReaders* Load(const std::vector<std::filesystem::path>& places, std::string& error) {
  for (const std::filesystem::path& file : places) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) continue;
    // Every symbol is bound now, so that a library missing from the system
    // shows here as a reason rather than later as a crash while playing.
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      error = dlerror();
      return nullptr;
    }
    auto entry = reinterpret_cast<decltype(&ParloMediaReaders)>(dlsym(module, "ParloMediaReaders"));
    if (const TMediaReaders* readers = entry ? entry(kMediaReadersVersion) : nullptr) return readers;
    dlclose(module);
    error = file.string() + ": not a media module of this program's version";
    return nullptr;
  }
  error = "no media module at " + places.front().string();
  for (std::size_t i = 1; i < places.size(); ++i) error += " or " + places[i].string();
  return nullptr;
}

const TMediaReaders* Readers(std::string& error) {
  const TMediaReaders* readers = nullptr;
  {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.only.empty()) {
      readers = Load({state.only}, error);
    } else {
      if (!state.readers) state.readers = Load(UsualPlaces(), error);
      readers = state.readers;
    }
  }
  if (!readers) platform::LogLine("Media files cannot be read: " + error);
  return readers;
}

std::string NativePath(const std::string& fileName) { return platform::PathFromName(fileName).string(); }

}  // namespace

void SetMediaModuleFile(const std::filesystem::path& file) {
  ModuleState& state = State();
  std::lock_guard lock(state.mutex);
  state.only = file;
}

bool ProbeMedia(const std::string& fileName, TMediaInfo& info, std::string& error) {
  const TMediaReaders* readers = Readers(error);
  return readers && readers->Probe(NativePath(fileName), info, error);
}

std::unique_ptr<TMediaVideo> TMediaVideo::Open(const std::string& fileName, std::string& error) {
  const TMediaReaders* readers = Readers(error);
  return readers ? readers->OpenVideo(NativePath(fileName), error) : nullptr;
}

std::unique_ptr<TMediaSound> TMediaSound::Open(const std::string& fileName, TRefTime origin, std::string& error) {
  const TMediaReaders* readers = Readers(error);
  return readers ? readers->OpenSound(NativePath(fileName), origin, error) : nullptr;
}

}  // namespace videocapture::engine
