#pragma once

// What the component knows about capture formats: the size and sub-type
// lists of a device and how they are found, frame intervals, the audio
// formats and the mapping of video qualities to picture controls.

#include <functional>
#include <string>

#include "platform/StringList.h"
#include "videocapture/VideoCaptureTypes.h"
#include "videocapture/engine/CaptureDevice.h"

// A size list entry: the width right-aligned in four characters, "x", the
// height, so that text order is width order ("  320x240").
std::string SizeEntry(int width, int height);
// Reads an entry back; a part that is no number reads as 0.
void ParseSizeEntry(const std::string& entry, int& width, int& height);

// The sorted, duplicate-free list a device's sizes live in.
void PrepareSizeList(TStringList& sizes);
// Adds a sub-type name unless listed; "YUY2" always goes first.
void AddSubTypeName(TStringList& subTypes, const std::string& name);

// Walks every capability of the capture pin and lists the sizes the pin
// accepts and the sub-types it offers. `pump` runs between capabilities.
void DiscoverFormats(videocapture::engine::TCaptureSource& source, TStringList& sizes, TStringList& subTypes,
                     const std::function<void()>& pump);

// The frame interval of a rate, the rate truncated to two decimals first;
// 0 for a rate of 0 or below.
videocapture::engine::TRefTime FrameInterval(double frameRate);
// Whole frames per second of an interval; 0 for an interval of 0 or below.
// An interval rounded from a whole rate reads as that rate.
int FramesPerSecond(videocapture::engine::TRefTime interval);

struct TAudioParams {
  unsigned rate, bits, channels;
};
TAudioParams AudioFormatParams(TAudioFormat format);
// "default", then "8000 Hz, 8-bit Mono" ... one line per format.
std::string AudioFormatsText();

// The picture control behind a video quality.
int ProcAmpProperty(TVideoQuality quality);
