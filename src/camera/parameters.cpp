// The parameter table of an instance: ids 1 to 18 are the instance's settings,
// every other id (and, when written, ids 1 to 7) reaches the camera's control
// register addressed by the id's low 8 bits.
#include "camera/kol_thermo.h"
#include "kolthermo/kolthermo.h"

namespace kt {
namespace {

// Parameter 16 names a setting this camera does not have: it reads back as
// this value, and writing it is refused.
constexpr int32_t kParameter16Value = 0;

}  // namespace

int32_t CKolThermo::GetInstanceParam(int32_t id, bool* handled) {
  *handled = true;
  switch (id) {
    case KOLTHERMO_PARAM_WIDTH:
      return kImageWidth;
    case KOLTHERMO_PARAM_HEIGHT:
      return kImageHeight;
    case KOLTHERMO_PARAM_FRAME_RATE:
      return acquisition_.frames_per_second_x100();
    case KOLTHERMO_PARAM_RECORDING_MODE:
      return recorder_.requested_mode();
    case KOLTHERMO_PARAM_PREVIEWING:
      return acquisition_.previewing() ? 1 : 0;
    case KOLTHERMO_PARAM_PAUSED:
      return settings_.pause.load();
    case KOLTHERMO_PARAM_RECORDING:
      return recorder_.is_recording() ? 1 : 0;
    case KOLTHERMO_PARAM_RING_SIZE:
      return ring_.configured_size();
    case KOLTHERMO_PARAM_LOOP_INTERVAL:
      return settings_.loop_interval_ms.load();
    case KOLTHERMO_PARAM_NUC_HOLD:
      return settings_.nuc_hold_ms.load();
    case KOLTHERMO_PARAM_SPLIT_SIZE:
      return settings_.split_size_mib.load();
    case KOLTHERMO_PARAM_AUTO_RANGE_FRAMES:
      return colour_.auto_range_count.load();
    case KOLTHERMO_PARAM_COLOR_LOW:
      return colour_.low_bound.load();
    case KOLTHERMO_PARAM_COLOR_HIGH:
      return colour_.high_bound.load();
    case KOLTHERMO_PARAM_NUC_ON_DRIFT:
      return settings_.nuc_on_drift.load();
    case KOLTHERMO_PARAM_RESERVED:
      return kParameter16Value;
    case KOLTHERMO_PARAM_FETCH_FLIPPED:
      return settings_.fetch_row_order.load();
    case KOLTHERMO_PARAM_MIRROR_ON_SAVE:
      return settings_.mirror_on_save.load();
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

bool CKolThermo::SetInstanceParam(int32_t id, int32_t value, bool* handled) {
  *handled = true;
  switch (id) {
    case KOLTHERMO_PARAM_RING_SIZE:
      // Initialize builds the ring and its size is fixed from then on: a
      // capture thread and host fetches hold on to slots, so the ring is
      // never rebuilt under them. The refusal is intended, not a missing
      // feature; the size can be chosen only before Initialize.
      if (!ring_.SetConfiguredSize(value)) {
        Raise(EventCode::kInvalidArgument);
        return false;
      }
      return true;
    case KOLTHERMO_PARAM_LOOP_INTERVAL:
      settings_.loop_interval_ms.store(value);
      return true;
    case KOLTHERMO_PARAM_NUC_HOLD:
      settings_.nuc_hold_ms.store(value);
      return true;
    case KOLTHERMO_PARAM_SPLIT_SIZE:
      settings_.split_size_mib.store(value);
      return true;
    case KOLTHERMO_PARAM_AUTO_RANGE_FRAMES:
      colour_.auto_range_count.store(value);
      return true;
    case KOLTHERMO_PARAM_COLOR_LOW:
      colour_.low_bound.store(value);
      return true;
    case KOLTHERMO_PARAM_COLOR_HIGH:
      colour_.high_bound.store(value);
      return true;
    case KOLTHERMO_PARAM_NUC_ON_DRIFT:
      settings_.nuc_on_drift.store(value != 0 ? 1 : 0);
      return true;
    case KOLTHERMO_PARAM_RESERVED:
      // Always refused with code 10, also when a preview start applies it
      // again: the camera has no such setting, and hosts written for it
      // expect the refusal rather than a silently stored value.
      Raise(EventCode::kNotSupported);
      return false;
    case KOLTHERMO_PARAM_FETCH_FLIPPED:
      settings_.fetch_row_order.store(value);
      return true;
    case KOLTHERMO_PARAM_MIRROR_ON_SAVE:
      settings_.mirror_on_save.store(value);
      return true;
    default:
      // Ids 1 to 7 are read-only settings, yet a write is not refused: like
      // every id outside the table it goes to the camera's control register
      // (id & 0xFF), and the setting reads back unchanged. Intended: writes
      // to control registers 1 to 7 through these ids keep working.
      *handled = false;
      return false;
  }
}

bool CKolThermo::SetParam(int32_t id, int32_t value) {
  bool handled = false;
  const bool result = SetInstanceParam(id, value, &handled);
  if (handled) return result;
  return device_.WriteControlRegister(id & 0xFF, value & 0xFF) != 0;
}

}  // namespace kt
