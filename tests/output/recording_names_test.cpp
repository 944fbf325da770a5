#include "output/recording_names.h"

#include <gtest/gtest.h>

namespace kt {
namespace {

TEST(RecordingNamesTest, SplitsLikeTheWindowsPathSplit) {
  const PathParts parts = SplitPath(u"C:\\a\\b.avi");
  EXPECT_EQ(u"C:", parts.drive);
  EXPECT_EQ(u"\\a\\", parts.directory);
  EXPECT_EQ(u"b", parts.name);
  EXPECT_EQ(u".avi", parts.extension);
  const PathParts posix = SplitPath(u"/tmp/x.y/video");
  EXPECT_EQ(u"", posix.drive);
  EXPECT_EQ(u"/tmp/x.y/", posix.directory);
  EXPECT_EQ(u"video", posix.name);
  EXPECT_EQ(u"", posix.extension);
}

TEST(RecordingNamesTest, NumberedNames) {
  EXPECT_EQ(u"C:\\a\\b_1.avi", NumberedRecordingName(u"C:\\a\\b.avi", 1));
  EXPECT_EQ(u"C:\\a\\b_12.avi", NumberedRecordingName(u"C:\\a\\b.avi", 12));
  EXPECT_EQ(u"rec.tar_2.gz", NumberedRecordingName(u"rec.tar.gz", 2));
  EXPECT_EQ(u"/data/run_3", NumberedRecordingName(u"/data/run", 3));
  EXPECT_EQ(u"D:frames_1.raw", NumberedRecordingName(u"D:frames.raw", 1));
}

}  // namespace
}  // namespace kt
