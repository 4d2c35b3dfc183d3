// The progress record on disk: what it keeps, which slot counts, and that no damaged slot is taken.
#include <gtest/gtest.h>

#include "relay/progress_record.h"

namespace qsoferry {
namespace {

using Status = DecodedProgress::Status;

TEST(ProgressRecord, TheNewerValidSlotCountsWhateverItsPlace) {
    // Newer by its sequence, whatever its offset says.
    const Progress older{5, 0xFFFFFFFFFFull, 2, false}, newer{6, 1234, 3, true};
    const std::string a = EncodeProgressSlot(older), b = EncodeProgressSlot(newer);
    ASSERT_EQ(a.size(), kProgressSlotSize);
    for (const std::string& file : {a + b, b + a}) {
        DecodedProgress d = DecodeProgress(file);
        ASSERT_EQ(d.status, Status::kValid);
        EXPECT_EQ(d.progress, newer);
        EXPECT_EQ(d.slot, file.substr(0, kProgressSlotSize) == b ? 0 : 1);
    }
    EXPECT_EQ(DecodeProgress(a).progress, older);
    EXPECT_EQ(DecodeProgress("").status, Status::kNone);

    // Slot 1 a page on, as written now; the bytes between count for nothing (the side-by-side
    // slot 1 of an earlier writer, or zeros).
    const std::string gap = std::string(kProgressPageSize - 2 * kProgressSlotSize, '\0');
    EXPECT_EQ(ProgressSlotOffset(1), kProgressPageSize);
    for (const std::string& between : {b + gap, std::string(kProgressSlotSize, 'x') + gap}) {
        DecodedProgress paged = DecodeProgress(a + between + b);
        EXPECT_EQ(paged.progress, newer);
        EXPECT_EQ(paged.slot, 1);
    }
    // Extended, but slot 1 never landed: zeros there, and slot 0 counts.
    EXPECT_EQ(DecodeProgress(a + b + gap + std::string(kProgressSlotSize, '\0')).progress, older);
    EXPECT_EQ(DecodeProgress(std::string(kProgressFileMax + 1, '\0')).status, Status::kDamaged);
}

TEST(ProgressRecord, AnyChangedByteOrCutMakesASlotDamaged) {
    const Progress p{9, 4096, 17, false};
    const std::string slot = EncodeProgressSlot(p);
    for (size_t i = 0; i < slot.size(); ++i) {
        for (char replacement : {'0', '1', 'f', ' ', '\n', 'X'}) {
            if (slot[i] == replacement) continue;
            std::string damaged = slot;
            damaged[i] = replacement;
            EXPECT_EQ(DecodeProgress(damaged).status, Status::kDamaged) << "byte " << i << " -> " << replacement;
            // Beside an older good slot, the good one counts.
            DecodedProgress beside = DecodeProgress(EncodeProgressSlot({8, 100, 1, false}) + damaged);
            EXPECT_EQ(beside.progress.sequence, 8u) << "byte " << i;
        }
    }
    for (size_t length = 1; length < slot.size(); ++length)
        EXPECT_EQ(DecodeProgress(slot.substr(0, length)).status, Status::kDamaged) << length;
    // The standard CRC-32, as every bridge version names its delivery lock with it.
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
}

}  // namespace
}  // namespace qsoferry
