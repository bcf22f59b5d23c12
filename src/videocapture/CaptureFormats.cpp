// Applying the frame rate, size and sub-type to the capture pin before it
// connects, and reading them back after the stream-format dialog.

#include "videocapture/CaptureImpl.h"
#include "videocapture/VideoFormats.h"

namespace engine = videocapture::engine;

bool TImpl::ApplyFrameRate() {
  if (!source) return false;
  engine::TVideoFormat format;
  if (!vc.Report(source->GetFormat(format), rl_Error, "get Video format", 29)) return false;
  if (format.kind == engine::TFormatKind::None) return true;
  const engine::TRefTime interval = FrameInterval(vc.frameRate_);
  if (interval <= 0) return true;
  format.avgTimePerFrame = interval;
  return vc.Report(source->SetFormat(format), rl_Error, "set Frame Rate", 57);
}

void TImpl::ApplySizeAndSubType() {
  if (!source || !record || !record->Sizes || !record->SubTypes) return;
  if (vc.videoSize_ == 0 && vc.videoSubType_ == 0) return;
  const TStringList& sizes = *record->Sizes;
  const TStringList& subTypes = *record->SubTypes;
  if (vc.videoSize_ < 0 || vc.videoSize_ >= sizes.Count()) {
    vc.videoSize_ = 0;
    vc.Report(false, rl_Warning, "VideoSize index out of range, index 0 used instead", 40);
  }
  if (vc.videoSubType_ < 0 || vc.videoSubType_ >= subTypes.Count()) {
    vc.videoSubType_ = 0;
    vc.Report(false, rl_Warning, "VideoSubType index out of range, index 0 used instead", 40);
  }
  engine::TVideoFormat format;
  if (!vc.Report(source->GetFormat(format), rl_Error, "get Video format", 29)) return;
  if (vc.videoSize_ != 0) ParseSizeEntry(sizes[vc.videoSize_], format.width, format.height);
  // The first sub-type stands for index 0 only where there is a choice.
  if (subTypes.Count() > 1) format.subtype = engine::SubTypeFromName(subTypes[vc.videoSubType_]);
  if (vc.Report(source->SetFormat(format), rl_Error, "set video size", 63)) {
    appliedWidth = format.width;
    appliedHeight = format.height;
  }
}

void TImpl::ReadBackFormat() {
  engine::TVideoFormat format;
  if (!source || !source->GetFormat(format)) return;
  const int rate = FramesPerSecond(format.avgTimePerFrame);
  if (rate > 0) vc.frameRate_ = rate;
  if (!record || !record->Sizes || !record->SubTypes) return;
  if (format.subtype != 0) {
    const int index = record->SubTypes->IndexOf(engine::SubTypeName(format.subtype));
    if (index >= 0) vc.videoSubType_ = index;
  }
  if (format.width > 0 && format.height > 0) {
    for (int i = 0; i < record->Sizes->Count(); ++i) {
      int w, h;
      ParseSizeEntry((*record->Sizes)[i], w, h);
      if (w == format.width && h == format.height) {
        vc.videoSize_ = i;
        break;
      }
    }
  }
}

const engine::TControlRange* TImpl::QualityRange(TVideoQuality q) const {
  const int property = ProcAmpProperty(q);
  if (!haveProcAmp || !source || property < 0 || !quality[property].available) return nullptr;
  return &quality[property];
}
