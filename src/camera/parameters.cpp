// The parameter table of an instance: ids 1 to 18 are the instance's settings,
// every other id (and, when written, ids 1 to 7) reaches the camera's control
// register addressed by the id's low 8 bits.
#include "camera/kol_thermo.h"

namespace kt {

int32_t CKolThermo::GetInstanceParam(int32_t id, bool* handled) {
  *handled = true;
  switch (id) {
    case 1:
      return kImageWidth;
    case 2:
      return kImageHeight;
    case 3:
      return frames_per_second_x100_.load();
    case 4:
      return recording_mode_.load();
    case 5:
      return state_.load() == 1 ? 1 : 0;
    case 6:
      return pause_flag_.load();
    case 7:
      return recording_start_time_.load() != 0 ? 1 : 0;
    case 8:
      return ring_size_.load();
    case 9:
      return loop_interval_ms_.load();
    case 10:
      return nuc_hold_ms_.load();
    case 11:
      return split_size_mib_.load();
    case 12:
      return colour_.auto_range_count.load();
    case 13:
      return colour_.low_bound.load();
    case 14:
      return colour_.high_bound.load();
    case 15:
      return nuc_on_drift_.load();
    case 16:
      return parameter16_value_;
    case 17:
      return fetch_row_order_.load();
    case 18:
      return mirror_on_save_.load();
    default:
      *handled = false;
      return 0;
  }
}

int32_t CKolThermo::GetParam(int32_t id) {
  bool handled = false;
  const int32_t value = GetInstanceParam(id, &handled);
  if (handled) return value;
  uint8_t byte = 0;
  if (device_.ReadControlRegister(id & 0xFF, &byte) == 0) return 0;
  return byte;
}

int CKolThermo::SetInstanceParam(int32_t id, int32_t value, bool* handled) {
  *handled = true;
  switch (id) {
    case 8:
      // The ring is built by Initialize; its size is fixed from then on.
      if (ring_slot_count() > 0) {
        Raise(EventCode::kInvalidArgument);
        return 0;
      }
      ring_size_.store(value);
      return 1;
    case 9:
      loop_interval_ms_.store(value);
      return 1;
    case 10:
      nuc_hold_ms_.store(value);
      return 1;
    case 11:
      split_size_mib_.store(value);
      return 1;
    case 12:
      colour_.auto_range_count.store(value);
      return 1;
    case 13:
      colour_.low_bound.store(value);
      return 1;
    case 14:
      colour_.high_bound.store(value);
      return 1;
    case 15:
      nuc_on_drift_.store(value != 0 ? 1 : 0);
      return 1;
    case 16:
      Raise(EventCode::kNotSupported);
      return 0;
    case 17:
      fetch_row_order_.store(value);
      return 1;
    case 18:
      mirror_on_save_.store(value);
      return 1;
    default:
      *handled = false;
      return 0;
  }
}

int CKolThermo::SetParam(int32_t id, int32_t value) {
  bool handled = false;
  const int result = SetInstanceParam(id, value, &handled);
  if (handled) return result;
  return device_.WriteControlRegister(id & 0xFF, value & 0xFF);
}

}  // namespace kt
