// CKolThermo: one camera as the host sees it. It composes the parts that do
// the work, each with one owner:
//   FrameRing    the frame slots and the frame lock (frame_ring.h);
//   Recorder     the recording request and state machine (recorder.h);
//   Acquisition  the capture thread, the control lock, single frames, the NUC
//                hold and the drift check (acquisition.h);
// and keeps itself the device, the parameter table and its settings, the
// calibration table, the colour-mapping record, the live display, the code
// store, camera enumeration and still saving.
//
// Threads: every public operation runs on a host thread, any of them at any
// time unless stated otherwise; the parts' headers say which of their fields
// the capture thread shares and what guards each.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "camera/acquisition.h"
#include "camera/capture_settings.h"
#include "camera/code_store.h"
#include "camera/frame_ring.h"
#include "camera/parameter_table.h"
#include "camera/recorder.h"
#include "device/kol_cam_sdk.h"
#include "imaging/colour_mapping.h"
#include "imaging/live_display.h"
#include "thermal/thermo_table.h"

namespace kt {

class CKolThermo : public ParameterTable {
 public:
  // Sensor size: every slot surface and the spare raw surface have it.
  static constexpr int32_t kImageWidth = FrameRing::kImageWidth;
  static constexpr int32_t kImageHeight = FrameRing::kImageHeight;

  CKolThermo();
  virtual ~CKolThermo();
  CKolThermo(const CKolThermo&) = delete;
  CKolThermo& operator=(const CKolThermo&) = delete;

  // Builds the frame ring, stores the host window and records the internal
  // temperature. False with code 6 when the display scratch surface or the
  // ring cannot be allocated. A failed temperature read raises code 8 and goes on.
  bool Initialize(void* host_window);

  // Frame ID of the current slot, 0 before any frame (or before Initialize).
  int32_t GetNewID() { return ring_.GetNewID(); }

  // The parameter table: ids 1 to 18 are instance settings (some read-only),
  // every other id reaches the camera's control register (id & 0xFF).
  bool SetParam(int32_t id, int32_t value) override;
  int32_t GetParam(int32_t id) override;

  // The sensor's internal temperature in degrees Celsius. False when the device
  // read fails or the result is exactly 0.0 (no reading).
  bool ReadInternalTemperature(float* celsius);

  // ---- Acquisition (serialised by the acquisition's control lock) ----
  // Starts continuous acquisition: true, or false having raised the cause.
  // Already previewing (also after the camera was lost): true and nothing else.
  bool StartPreview() { return acquisition_.StartPreview(); }
  // Stops acquisition, then releases the display resources. Always true.
  bool Close();
  bool Pause();
  bool Start();
  // One frame on demand, or on the camera's trigger input (a falling edge of
  // control register 7 bit 2 within 3000 ms). The new frame ID, or 0.
  int32_t OneShot() { return acquisition_.OneShot(); }
  int32_t Trigger() { return acquisition_.Trigger(); }

  // Asks the camera for a non-uniformity correction and holds back frames for
  // the NUC hold time (parameter 10) while it settles. Always true.
  bool StartNucHold();

  // ---- Frame fetch ----
  // Copies the frame with `frame_id` into `buffer` (raw 16-bit codes or the
  // false-colour picture), rows in the order parameter 17 selects. True, or
  // false with code 5 (no such frame) or 6 (buffer missing or too small).
  bool GetRaw(int32_t frame_id, void* buffer, uint32_t size_bytes);
  bool GetColor(int32_t frame_id, void* buffer, uint32_t size_bytes);
  // The false-colour picture as packed red, green, blue pixels (width * 3
  // bytes a row, no padding), in one pass, for hosts whose images take that
  // order. Same results as GetColor.
  bool GetColorRgb(int32_t frame_id, void* buffer, uint32_t size_bytes);
  // The frame's temperatures in degrees Celsius (width x height floats, -999.0
  // where a code has no temperature), through the calibration table.
  bool GetTemperature(int32_t frame_id, float* buffer, uint32_t size_bytes);

  // Saves the current frame as a still image in format 0..13: true, or false
  // with code 1 (no frame yet), 5 (format) or 9 (file).
  bool Save(const char16_t* path, int32_t format);

  // Requests a recording (KOLTHERMO_RECORD_*) into `path`; the capture loop
  // carries it out. False with code 5 for a null path or one longer than 259
  // characters (the request is then unchanged).
  bool SetRecording(const char16_t* path, int32_t mode) { return recorder_.Request(path, mode); }

  // Loads a calibration table file: true, then a NUC hold starts; false with
  // code 9 for a missing or empty path or a table that does not load.
  bool SetTable(const char16_t* path);

  // Supplies the display window that published frames are drawn into; no
  // export does this. Call only while not previewing.
  void AttachDisplay(void* window, platform::DeviceContext dc, const char16_t* class_name) {
    display_.Attach(window, dc, class_name);
  }

  // Camera enumeration and selection. IsCameraEnable writes the display name
  // of a present camera ("KolThermoV7R2K_01" for slot 0) into `name`, which
  // holds `size_chars` UTF-16 characters.
  bool IsCameraEnable(int slot, char16_t* name, int size_chars);
  // Selects and sets up the camera at `slot` for later acquisition. Refused
  // with code 2 while acquisition runs: set-up replaces the transfer buffers.
  bool SetCameraNumber(int slot);
  // Display names are 17 characters; a buffer needs room for the terminator.
  static constexpr int kCameraNameChars = 18;

  void SetHostWindow(void* window) { codes_.SetHostWindow(window); }
  void Raise(EventCode code) { codes_.Raise(code); }
  CodeStore& codes() { return codes_; }

  // Accessors for the layers that build on the instance and for tests.
  CKolCamV7R2KTHERMOSdk& device() { return device_; }
  CThermoTable& table() { return table_; }
  ColourMapping& colour_mapping() { return colour_; }
  Acquisition& acquisition() { return acquisition_; }
  float recorded_internal_temperature() const { return recorded_internal_temperature_.load(); }
  size_t ring_slot_count() { return ring_.slot_count(); }

  // Converts the sensor's raw internal-temperature value to degrees Celsius.
  static float InternalTemperatureFromRaw(uint16_t raw);

 private:
  bool CopyFrameOut(FrameRing::FrameKind kind, int32_t frame_id, void* buffer, uint32_t size_bytes);
  int32_t GetInstanceParam(int32_t id, bool* handled);
  bool SetInstanceParam(int32_t id, int32_t value, bool* handled);

  // Members are destroyed in reverse order: the acquisition (whose capture
  // thread the destructor has stopped already) goes first, the device last,
  // which closes the driver.
  CKolCamV7R2KTHERMOSdk device_;
  CodeStore codes_;
  // Written by host threads (parameters, Pause, Start); the capture thread
  // reads them. Atomics, each read whole.
  CaptureSettings settings_;
  // Internal temperature at the last drift event; the calibration table reads
  // it through a pointer. Atomic: written by Initialize, NUC requests and the
  // drift check on the capture thread.
  std::atomic<float> recorded_internal_temperature_{0.0f};
  // Bounds and auto-range count are atomics the host writes (parameters
  // 12..14) while the frame mappers read them.
  ColourMapping colour_;
  // Guards itself (its own locks; snapshots for readers).
  CThermoTable table_;
  // Host threads only while no capture thread runs; the capture thread draws
  // into it. The thread's start and join order every access.
  LiveDisplay display_;
  FrameRing ring_;
  Recorder recorder_{codes_};
  Acquisition acquisition_;
};

}  // namespace kt
