// Progress of a timed or counted job. On a terminal a bar redraws in place;
// elsewhere (a pipe, a log file) plain lines are printed at most once per
// tenth of the job, so logs stay short and readable.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kt::cli {

class Progress {
 public:
  // `total` in any unit (frames, seconds); `terminal` chooses the bar.
  Progress(std::string label, double total, bool terminal, std::FILE* stream = stdout);

  // Shows `done` of the total with a short detail ("12/30 frames").
  void Update(double done, std::string_view detail);

  // Prints a line above the bar without breaking it (events).
  void Note(std::string_view line);

  // Ends the bar with a final detail.
  void Finish(std::string_view detail);

 private:
  void Draw(double done, std::string_view detail);

  std::string label_;
  double total_;
  bool terminal_;
  std::FILE* stream_;
  int last_tenth_ = -1;
  bool drawn_ = false;
  double last_done_ = 0.0;
  std::string last_detail_;
};

}  // namespace kt::cli
