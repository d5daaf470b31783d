#pragma once
// The arithmetic and texts of the progress dialog.
#include <string>

namespace tamboro::app {

// The percentage shown for position `pos` in lower..upper:
// (pos - lower) * 100 / (upper - lower), taken modulo 100 unless it is
// exactly 100 (so 150 in 0..100 shows 50). A range of zero width shows 0;
// the sums are done in 64 bits so no position overflows them.
int ProgressPercent(long long pos, long long lower, long long upper);
// "<percent>%" as the dialog writes it.
std::string ProgressPercentText(int percent);
// The text of a progress report: phase 1 string 140 and phase 2 string 141,
// each with channel + 1 and 20; phase 3 string 142; phase 4 (a loop being
// time-stretched) string 171 with channel + 1 and 20; any other phase empty.
std::string ProgressPhaseText(int phase, int channel);

}  // namespace tamboro::app
