// CKolCamV7R2KTHERMOSdk: device access for this camera model. It names the
// model's device files, probes the eight slots and sets up slot 0 when it is
// built, and sets the transfer mode the way this model expects.
#pragma once

#include "device/kcm_sdk_lib.h"

namespace kt {

class CKolCamV7R2KTHERMOSdk final : public CKCMSdkLib {
 public:
  CKolCamV7R2KTHERMOSdk();

  // Always asks the camera for two bytes per pixel on the wire (command 10
  // with 1) and selects the pixel format in control register 14: 9 for a
  // nonzero mode, 8 otherwise. The wire carries 16-bit words on this model
  // whatever the mode; the mode only picks what the words hold, so command 10
  // never asks for one byte per pixel here. Always true, as the base slot.
  bool SetTransferMode(int mode) override;
};

}  // namespace kt
