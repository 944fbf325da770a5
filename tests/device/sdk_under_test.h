// CKCMSdkLib with its shared state readable, for the device tests.
#pragma once

#include <cstring>

#include "device/kcm_sdk_lib.h"

namespace kt::test {

class SdkUnderTest : public CKCMSdkLib {
 public:
  using CKCMSdkLib::ComputeTransferUnits;

  int write_index() const { return stream_.write_index.load(); }
  int read_index() const { return stream_.read_index.load(); }
  int stream_status() const { return stream_.status.load(); }
  int error_flag() const { return stream_.error_flag.load(); }
  int stop_flag() const { return stream_.stop_flag.load(); }
  const uint8_t* single_frame() const { return single_frame_.get(); }
  size_t ring_size() const { return ring_.size(); }
  const uint8_t* ring_block(size_t index) const { return ring_[index].locked; }

  void set_large_transfer(int value) { large_transfer_ = value; }
  // Sets the transfer mode without sending command 10.
  void set_mode_silently(int mode) { transfer_mode_.store(mode); }
  void set_base_name(const char* name) { std::strncpy(base_name_, name, sizeof(base_name_) - 1); }
};

}  // namespace kt::test
