// The frame ring alone: publishing into the slot after the current one, and
// copying frames out by ID in either row order, without a camera or a thread.
#include "camera/frame_ring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace kt {
namespace {

constexpr size_t kRawRowBytes = FrameRing::kImageWidth * 2;
constexpr size_t kRawBytes = kRawRowBytes * FrameRing::kImageHeight;

// Publishes a raw frame whose every byte of stored row r is (r + tag) & 0xFF.
int32_t PublishTagged(FrameRing& ring, int32_t frame_id, uint8_t tag) {
  return ring.PublishNext(frame_id, [tag](FrameSlot& slot) {
    for (int r = 0; r < slot.raw.height(); ++r) {
      std::memset(slot.raw.pixels() + r * slot.raw.stride(), (r + tag) & 0xFF,
                  static_cast<size_t>(slot.raw.stride()));
    }
    return true;
  });
}

class FrameRingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ring_.SetConfiguredSize(3));
    ring_.Rebuild();
    ASSERT_TRUE(ring_.PrepareSurfaces());
  }
  FrameRing ring_;
  CThermoTable table_;
};

TEST_F(FrameRingTest, CopyOutByIdAndRowOrder) {
  ASSERT_EQ(101, PublishTagged(ring_, 101, 0));
  ASSERT_EQ(102, PublishTagged(ring_, 102, 7));
  const size_t last_row = FrameRing::kImageHeight - 1;
  const struct {
    int32_t frame_id;
    int32_t row_order;
    uint32_t size;
    bool null_buffer;
    FrameRing::CopyResult result;
    uint8_t first_row_byte;  // when copied
  } cases[] = {
      {101, 0, kRawBytes, false, FrameRing::CopyResult::kCopied, 0},
      {102, 0, kRawBytes, false, FrameRing::CopyResult::kCopied, 7},
      {102, 1, kRawBytes, false, FrameRing::CopyResult::kCopied, (last_row + 7) & 0xFF},
      {102, -5, kRawBytes, false, FrameRing::CopyResult::kCopied, (last_row + 7) & 0xFF},
      {103, 0, kRawBytes, false, FrameRing::CopyResult::kNoSuchFrame, 0},
      {0, 0, kRawBytes, false, FrameRing::CopyResult::kNoSuchFrame, 0},
      {101, 0, kRawBytes - 1, false, FrameRing::CopyResult::kBufferTooSmall, 0},
      {101, 0, kRawBytes, true, FrameRing::CopyResult::kBufferTooSmall, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out(kRawBytes, 0xEE);
    EXPECT_EQ(c.result,
              ring_.CopyOut(FrameRing::FrameKind::kRaw, c.frame_id,
                            c.null_buffer ? nullptr : out.data(), c.size, c.row_order, table_))
        << c.frame_id << " order " << c.row_order << " size " << c.size;
    if (c.result != FrameRing::CopyResult::kCopied) {
      EXPECT_EQ(0xEE, out[0]) << "nothing is written on a refusal";
      continue;
    }
    EXPECT_EQ(c.first_row_byte, out[0]) << c.frame_id << " order " << c.row_order;
    EXPECT_EQ(c.first_row_byte, out[kRawRowBytes - 1]);
  }
}

TEST_F(FrameRingTest, AFailedFillLeavesTheCurrentFrameAndTheRingWraps) {
  ASSERT_EQ(1, PublishTagged(ring_, 1, 0));
  EXPECT_EQ(0, ring_.PublishNext(2, [](FrameSlot&) { return false; }));
  EXPECT_EQ(1, ring_.GetNewID());
  // The refused slot is refilled by the next publish.
  ASSERT_EQ(3, PublishTagged(ring_, 3, 0));
  ASSERT_EQ(4, PublishTagged(ring_, 4, 0));
  ASSERT_EQ(5, PublishTagged(ring_, 5, 0));  // three slots: frame 1's is reused
  std::vector<uint8_t> out(kRawBytes);
  EXPECT_EQ(FrameRing::CopyResult::kNoSuchFrame,
            ring_.CopyOut(FrameRing::FrameKind::kRaw, 1, out.data(), kRawBytes, 0, table_));
  EXPECT_EQ(5, ring_.GetNewID());
  // A single frame advances first; its slot is current even when the fill fails.
  EXPECT_FALSE(ring_.AdvanceAndFill(6, [](FrameSlot&) { return false; }));
  EXPECT_EQ(6, ring_.GetNewID());
}

}  // namespace
}  // namespace kt
