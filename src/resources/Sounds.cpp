// The default sounds, synthesised from short recipes. Each recipe is a sequence of
// notes played one after another:
//   <shape><from>[:<to>]/<ms>[!][~][*<times>]
// shape s sine, q square, w saw, t triangle, n noise (the frequency is the noise's
// brightness), "-" silence; <from>:<to> glides exponentially; "!" strikes and dies
// away instead of holding; "~" adds vibrato; "*" repeats the note.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "resources/Resources.h"

namespace resources {

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

const std::map<std::string, const char*>& Recipes() {
  static const std::map<std::string, const char*> recipes = {
      // chat sound effects
      {"ringin.wav", "q880/35 q1100/35 q880/35 q1100/35 q880/35 q1100/35 q880/35 q1100/35 -/200 "
                     "q880/35 q1100/35 q880/35 q1100/35 q880/35 q1100/35 q880/35 q1100/35"},
      {"chikchng.wav", "n3000/40! -/30 n3000/40! s2637/350! s3136/450!"},
      {"ricochet.wav", "s3000:400/450~"},
      {"shotfire.wav", "n5000:300/350!"},
      {"laser.wav", "q2000:200/200 q2000:200/200 q2000:200/200"},
      {"bigbang.wav", "n1200:60/1000!"},
      {"overhead.wav", "n300:1500/500 n1500:250/600"},
      {"typing.wav", "n6000/15! -/60 n6000/15! -/90 n6000/15! -/50 n6000/15! -/110 n6000/15! -/70 n6000/15! -/80 "
                     "s1800/150!"},
      {"bigclap.wav", "n4000/30! -/15 n4000/30! n4000/30! -/10 n4000/30! n4000/30! -/25 n4000/30! n4000/30! -/5 "
                      "n4000/30! n4000/30! n4000/30! -/20 n4000/30! n4000/30! n4000/30!"},
      {"smclap.wav", "n3000/30! -/150 n3000/30! -/150 n3000/30!"},
      {"drumroll.wav", "n800/25!*24 n1500/400!"},
      {"brokegls.wav", "n8000/60! s4200/120! s5300/100! s3700/140! s6100/160!"},
      {"transfer.wav", "s660:990/120 s990:1320/120 s1320/150"},
      {"complete.wav", "s784/120 s988/120 s1175/260"},
      {"moan.wav", "w220:160/700~"},
      {"yehaw.wav", "w300:700/250 w700:350/400~"},
      {"wee.wav", "s400:1600/700~"},
      {"dog.wav", "n300/150 w80/500~ w75/400~"},
      {"pig.wav", "q180:140/150 -/60 q200:150/180"},
      {"moo.wav", "w130:110/900~"},
      {"alien.wav", "s800:1600/150~ s1600:600/150~ s600:1800/200~ s1800:500/250~"},
      {"ahooga.wav", "q200:500/300 q500:200/350"},
      {"boing.wav", "s150:600/100 s600:300/500~"},
      {"completed.wav", "s523/100 s659/100 s784/100 s1047/300"},
      {"goodbye.wav", "t784/200 t523/400"},
      {"ahem.wav", "n600/80! w200/120 w160/180"},
      {"bighug.wav", "s392:523/300 s523/400~"},
      {"biteme.wav", "q600/80! q450/80! q300/200"},
      {"blahblah.wav", "w250/90 -/30 w300/90 -/30 w250/90 -/30 w300/90 -/30 w220/200"},
      {"coffee.wav", "s300:400/120 n2000/200 s350/300~"},
      {"freak.wav", "q500:1500/150 q1500:500/150 q500:1500/150 q1500:500/150"},
      {"ggp.wav", "t1000/100 t900/100 t800/100 t700/100 t600/100 t500/300"},
      {"giggle.wav", "s900/60! -/30 s1000/60! -/30 s1100/60! -/30 s1000/60! -/30 s1200/120!"},
      {"huh.wav", "w180:320/350"},
      {"leak.wav", "n2500/600"},
      {"neener.wav", "t659/250 t523/250 t698/250 t659/400"},
      {"ohmy.wav", "w260:380/300 w380:260/400~"},
      {"ohyes.wav", "s330/250 s440:494/500~"},
      {"sugah.wav", "t392/250 t330:294/500~"},
      {"tazlaugh.wav", "w500:300/120 w500:300/120 w500:300/120 w500:300/120 w500:200/250"},
      {"wetkiss.wav", "n1200/40! s1500:800/120!"},
      {"wolfwhis.wav", "s900:2600/250 -/120 s1200:2800/250 s2800:700/450"},
      {"wowman.wav", "w200:450/300 w450:300/400~"},
      {"wrong.wav", "w110/700"},
      {"yadayada.wav", "t440/100 t494/100 t440/100 t494/100 t440/100 t494/100 t392/200"},
      {"yahrite.wav", "s220:440/300 s440:330/300"},
      {"gitrdone.wav", "q392/120 q392/120 q523/120 q659/350"},
      {"yesdear.wav", "t523/200 t392/500~"},
      // default event sounds not among the effects above
      {"textin.wav", "s1318/70! s1760/150!"},
      {"textout.wav", "s1760/70! s1318/150!"},
      {"incoming.wav", "s880/120 s1108/120 s1318/120 s1760/300"},
      {"closed.wav", "s660:330/400"},
      {"friend.wav", "s1046/100! s1568/250!"},
  };
  return recipes;
}

struct Note {
  char shape = 's';
  double from = 440, to = 440;
  int ms = 100;
  bool strike = false, vibrato = false;
};

std::vector<Note> ParseRecipe(const std::string& recipe) {
  std::vector<Note> notes;
  size_t at = 0;
  while (at < recipe.size()) {
    size_t end = recipe.find(' ', at);
    if (end == std::string::npos) end = recipe.size();
    const std::string token = recipe.substr(at, end - at);
    at = end + 1;
    if (token.empty()) continue;
    Note note;
    note.shape = token[0];
    size_t pos = 1;
    auto number = [&]() {
      size_t used = 0;
      double value = std::stod(token.substr(pos), &used);
      pos += used;
      return value;
    };
    if (note.shape != '-') note.from = note.to = number();
    if (pos < token.size() && token[pos] == ':') ++pos, note.to = number();
    if (pos < token.size() && token[pos] == '/') ++pos, note.ms = static_cast<int>(number());
    int times = 1;
    for (; pos < token.size(); ++pos) {
      if (token[pos] == '!') note.strike = true;
      else if (token[pos] == '~') note.vibrato = true;
      else if (token[pos] == '*') ++pos, times = static_cast<int>(number()), --pos;
    }
    for (int i = 0; i < times; ++i) notes.push_back(note);
  }
  return notes;
}

void Render(const Note& note, std::vector<double>& out, uint32_t& noise) {
  const int count = note.ms * kRate / 1000;
  double phase = 0, low = 0;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / count;
    const double seconds = static_cast<double>(i) / kRate;
    double freq = note.from * std::pow(note.to / note.from, t);
    if (note.vibrato) freq *= 1 + 0.03 * std::sin(2 * kPi * 6 * seconds);
    double v = 0;
    switch (note.shape) {
      case 's': v = std::sin(2 * kPi * phase); break;
      case 'q': v = phase < 0.5 ? 0.6 : -0.6; break;
      case 'w': v = 2 * phase - 1; break;
      case 't': v = 1 - 4 * std::fabs(phase - 0.5); break;
      case 'n': {
        noise = noise * 1664525u + 1013904223u;
        const double white = static_cast<double>(noise >> 8) / (1u << 24) * 2 - 1;
        low += (1 - std::exp(-2 * kPi * freq / kRate)) * (white - low);
        v = low * 1.5;
        break;
      }
      default: v = 0;
    }
    phase += freq / kRate;
    phase -= std::floor(phase);
    // Short fades at both ends keep the notes from clicking.
    double env;
    if (note.strike) env = std::exp(-5 * t) * std::min(1.0, seconds / 0.002);
    else env = std::min({1.0, seconds / 0.005, (1 - t) / 0.2});
    out.push_back(v * env);
  }
}

}  // namespace

const std::vector<std::string>& SoundFileNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const auto& [name, recipe] : Recipes()) all.push_back(name);
    return all;
  }();
  return names;
}

std::string SynthesizeWave(const std::string& fileName) {
  auto it = Recipes().find(fileName);
  if (it == Recipes().end()) return {};
  std::vector<double> samples;
  uint32_t noise = 12345;
  for (const Note& note : ParseRecipe(it->second)) Render(note, samples, noise);
  std::string wave;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) wave += static_cast<char>(v >> (8 * i) & 0xFF);
  };
  auto put16 = [&](uint16_t v) {
    wave += static_cast<char>(v & 0xFF);
    wave += static_cast<char>(v >> 8);
  };
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  wave += "RIFF";
  put32(36 + dataBytes);
  wave += "WAVEfmt ";
  put32(16);
  put16(1);  // PCM
  put16(1);  // mono
  put32(kRate);
  put32(kRate * 2);
  put16(2);
  put16(16);
  wave += "data";
  put32(dataBytes);
  for (double s : samples) {
    const double clipped = std::max(-1.0, std::min(1.0, s * 0.6));
    put16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(clipped * 32767))));
  }
  return wave;
}

}  // namespace resources
