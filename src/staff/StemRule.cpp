#include "staff/StemRule.h"

// Placeholder until the staff utilities land.
namespace scq {

void applyAutomaticStem(Staff&, int) {}

}  // namespace scq
