// Item runs (the editor's copy format) on arbitrary bytes, read into a new staff. The staff
// stays well formed, and what came in can be copied again: the run written back from it reads
// into another staff in full.

#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "song/SongReader.h"
#include "staff/Audit.h"
#include "stream/MemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace scq;
    MemoryStream run(data, size);
    Staff staff;
    int last = -2;
    const bool all = ReadItemRun(staff, 1, run, &last);
    SCQ_FUZZ_CHECK(last >= 0 && last < staff.lastItemIndex());
    if (all && size >= 4) {
        const int count = static_cast<int16_t>(data[2] | (data[3] << 8));
        SCQ_FUZZ_CHECK(last == count);
    }
    SCQ_FUZZ_CHECK(staff.itemAt(0)->typeCode() == 2);
    SCQ_FUZZ_CHECK(staff.lastItem()->typeCode() == 2);
    if (last < 1) return 0;

    MemoryStream copy;
    WriteItemRun(copy, staff, 1, last);
    SCQ_FUZZ_CHECK(!copy.HasError());
    copy.Seek(0);
    Staff pasted;
    int pastedLast = -2;
    SCQ_FUZZ_CHECK(ReadItemRun(pasted, 1, copy, &pastedLast));
    SCQ_FUZZ_CHECK(pastedLast == last);
    auditStaff(pasted, -1, -1);
    SCQ_FUZZ_CHECK(pasted.itemAt(0)->typeCode() == 2);
    SCQ_FUZZ_CHECK(pasted.lastItem()->typeCode() == 2);
    return 0;
}
