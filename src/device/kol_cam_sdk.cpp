#include "device/kol_cam_sdk.h"

#include <cstring>

namespace kt {

CKolCamV7R2KTHERMOSdk::CKolCamV7R2KTHERMOSdk() {
  std::strncpy(base_name_, protocol::kDeviceBaseName, sizeof base_name_ - 1);
  ProbeDevices();
  InitializeCamera(0);
}

bool CKolCamV7R2KTHERMOSdk::SetTransferMode(int mode) {
  transfer_mode_.store(mode);
  uint8_t command[protocol::kCommandSize] = {protocol::kCmdTransferMode, 1};
  SendCommand(command);
  WriteControlRegister(protocol::control::kPixelFormat, mode != 0
                                                            ? protocol::control::kPixelFormat16Bit
                                                            : protocol::control::kPixelFormat8Bit);
  return true;
}

}  // namespace kt
