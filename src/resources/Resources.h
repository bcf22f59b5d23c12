#pragma once

#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

namespace resources {

// The pictures and sounds the program names, made by code so that the repository
// carries no binary files. A fresh home gets them on first start.

// Every sound file with a default recipe: the chat sound effects and the default
// event sounds, by file name ("ringin.wav" ...).
const std::vector<std::string>& SoundFileNames();
// The bytes of a 16-bit mono wave file; empty for a name without a recipe.
std::string SynthesizeWave(const std::string& fileName);

// Emoticon n (1..20) as drawn into "Icons/<n>.bmp"; a null image outside 1..20.
QImage Emoticon(int n);
QImage Logo();      // "logo.jpg": the main window's banner
QImage ChatLogo();  // "chatlogo.jpg": the banner of the chat and message windows
// The program's icon (window and tray), size x size pixels with a clear background.
QImage AppIcon(int size);

// The JPEG bytes of an image (quality 0..100).
std::string EncodeJpeg(const QImage& image, int quality = 90);

// Writes into `home` every default file that is missing there: "Icons/1.bmp" ..
// "Icons/20.bmp", "logo.jpg", "chatlogo.jpg" and "Sounds/<name>" for each sound.
// Never replaces a file that exists, whatever it holds. Returns the number of
// files written; raises platform::EStreamError when a file cannot be written.
int InstallDefaults(const std::filesystem::path& home);

}  // namespace resources
