// The text-transfer repair on arbitrary bytes. A repair of the bytes themselves must either
// fail (they hold a bare line feed) or turn every carriage return, line feed pair into a line
// feed; a repair of the bytes after a text-mode conversion must give back the bytes exactly,
// and the converted copy must read as damaged.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "load/Repair.h"
#include "support/SongBuilder.h"

namespace {

using scq::test::Bytes;

// The repair worked out in memory: false when the bytes hold a bare line feed.
bool ExpectedRepair(const Bytes& in, Bytes& out) {
    out.clear();
    bool pendingCr = false;
    for (uint8_t b : in) {
        if (b == '\n') {
            if (!pendingCr) return false;
            pendingCr = false;
            out.push_back('\n');
            continue;
        }
        if (pendingCr) out.push_back('\r');
        pendingCr = b == '\r';
        if (!pendingCr) out.push_back(b);
    }
    if (pendingCr) out.push_back('\r');
    return true;
}

bool HasBareLineFeed(const Bytes& in) {
    bool afterCr = false;
    for (uint8_t b : in) {
        if (b == '\n' && !afterCr) return true;
        if (b == '\r')
            afterCr = true;
        else if (b != '\n')
            afterCr = false;
    }
    return false;
}

// Two scratch files for the whole run, removed at exit.
struct Scratch {
    scq::test::TempFile source{{}, "scqfuzz"};
    scq::test::TempFile repaired{{}, "scqfuzz"};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    SCQ_FUZZ_CHECK(scratch.source.ok() && scratch.repaired.ok());
    const Bytes bytes(data, data + size);

    // The bytes as they are.
    SCQ_FUZZ_CHECK(scratch.source.write(bytes));
    SCQ_FUZZ_CHECK(scq::IsDamagedByTextTransfer(scratch.source.path().c_str()) ==
                   !HasBareLineFeed(bytes));
    Bytes expected;
    const bool expectedOk = ExpectedRepair(bytes, expected);
    const bool ok =
        scq::RepairTextTransfer(scratch.source.path().c_str(), scratch.repaired.path().c_str());
    SCQ_FUZZ_CHECK(ok == expectedOk);
    if (ok) SCQ_FUZZ_CHECK(scq::test::ReadFile(scratch.repaired.path()) == expected);

    // The bytes after a text-mode transfer come back unchanged.
    SCQ_FUZZ_CHECK(scratch.source.write(scq::test::ToTextTransfer(bytes)));
    SCQ_FUZZ_CHECK(scq::IsDamagedByTextTransfer(scratch.source.path().c_str()));
    SCQ_FUZZ_CHECK(
        scq::RepairTextTransfer(scratch.source.path().c_str(), scratch.repaired.path().c_str()));
    SCQ_FUZZ_CHECK(scq::test::ReadFile(scratch.repaired.path()) == bytes);
    return 0;
}
