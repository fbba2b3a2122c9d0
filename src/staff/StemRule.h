#pragma once

namespace scq {

class Staff;

// The automatic stem direction for the duration item at `index` and its beam group.
void applyAutomaticStem(Staff& staff, int index);

}  // namespace scq
