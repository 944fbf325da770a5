#include "progress.h"

#include <algorithm>
#include <cmath>

namespace kt::cli {
namespace {

constexpr int kBarWidth = 30;

}  // namespace

Progress::Progress(std::string label, double total, bool terminal, std::FILE* stream)
    : label_(std::move(label)),
      total_(total > 0.0 ? total : 1.0),
      terminal_(terminal),
      stream_(stream) {}

void Progress::Draw(double done, std::string_view detail) {
  const double fraction = std::clamp(done / total_, 0.0, 1.0);
  const int filled = static_cast<int>(std::lround(fraction * kBarWidth));
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  // \r returns to the start of the line, \033[K clears what an older, longer
  // line left behind.
  std::fprintf(stream_, "\r%s [%s] %3d%%  %.*s\033[K", label_.c_str(), bar.c_str(),
               static_cast<int>(fraction * 100.0), static_cast<int>(detail.size()), detail.data());
  std::fflush(stream_);
  drawn_ = true;
}

void Progress::Update(double done, std::string_view detail) {
  last_done_ = done;
  last_detail_ = detail;
  if (terminal_) {
    Draw(done, detail);
    return;
  }
  const int tenth = static_cast<int>(std::clamp(done / total_, 0.0, 1.0) * 10.0);
  if (tenth == last_tenth_) return;
  last_tenth_ = tenth;
  std::fprintf(stream_, "%s: %d%%  %.*s\n", label_.c_str(), tenth * 10,
               static_cast<int>(detail.size()), detail.data());
  std::fflush(stream_);
}

void Progress::Note(std::string_view line) {
  if (terminal_ && drawn_) std::fprintf(stream_, "\r\033[K");
  std::fprintf(stream_, "%.*s\n", static_cast<int>(line.size()), line.data());
  if (terminal_ && drawn_) Draw(last_done_, last_detail_);
  std::fflush(stream_);
}

void Progress::Finish(std::string_view detail) {
  if (terminal_) {
    Draw(last_done_, detail);
    std::fprintf(stream_, "\n");
  } else {
    std::fprintf(stream_, "%s: done  %.*s\n", label_.c_str(), static_cast<int>(detail.size()),
                 detail.data());
  }
  std::fflush(stream_);
}

}  // namespace kt::cli
