#include "conversations/TranscriptControl.h"

#include "platform/Exception.h"

namespace {

TTranscriptFactory& Factory() {
  static TTranscriptFactory factory;
  return factory;
}

}  // namespace

void SetTranscriptFactory(TTranscriptFactory factory) { Factory() = std::move(factory); }

TTranscriptControl MakeTranscriptControl(QWidget* parent) {
  if (!Factory()) throw platform::Exception("No transcript control is installed");
  TTranscriptControl control = Factory()(parent);
  if (control.Widget == nullptr || control.Transcript == nullptr)
    throw platform::Exception("The transcript control could not be made");
  return control;
}
