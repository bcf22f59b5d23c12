#pragma once

// How a writing run splits its archive: over removable disks or into
// numbered files of a fixed size.

#include <cstdint>

#include "zip/ObjectList.h"
#include "zip/ZipReader.h"

namespace zip {

class TMultiZipInfo : public TPersistent {
 public:
  std::string ClassName() const override { return "TMultiZipInfo"; }
  void Assign(const TPersistent& source) override {
    if (auto* other = dynamic_cast<const TMultiZipInfo*>(&source)) {
      BlockSize = other->BlockSize;
      FirstBlockSize = other->FirstBlockSize;
      SaveOnFirstDisk = other->SaveOnFirstDisk;
      SaveZipInfoOnFirstDisk = other->SaveZipInfoOnFirstDisk;
      MultiMode = other->MultiMode;
      CheckDiskLabels = other->CheckDiskLabels;
      WriteDiskLabels = other->WriteDiskLabels;
      return;
    }
    TPersistent::Assign(source);
  }

  int BlockSize = 1457600;       // every block after the first
  int FirstBlockSize = 1457600;
  int64_t SaveOnFirstDisk = 0;   // bytes left free on the first disk or block (disks outgrow 32 bits)
  bool SaveZipInfoOnFirstDisk = false;
  TMultiMode MultiMode = mmNone;
  bool CheckDiskLabels = true;
  bool WriteDiskLabels = true;
};

}  // namespace zip
