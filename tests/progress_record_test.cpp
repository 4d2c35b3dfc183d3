// The progress record on disk: what it keeps, which slot counts, and that no damaged slot is taken.
#include <gtest/gtest.h>

#include "relay/progress_record.h"

#include "read_log.h"

namespace qsoferry {
namespace {

using test::EncodeV1;
using test::EncodeV2;

using Status = DecodedProgress::Status;

// Two slots as written now: slot 1 a page after slot 0.
std::string Paged(const std::string& slot0, const std::string& slot1) {
    return slot0 + std::string(kProgressPageSize - slot0.size(), '\0') + slot1;
}

TEST(ProgressRecord, TheNewerValidSlotCountsWhateverItsPlace) {
    // Newer by its sequence, whatever its offset says.
    // The copy's range and CRC are kept too, to their last bit.
    const Progress older{5, 0xFFFFFFFFFFull, 2, false, 512, 1000, 0xFFFFFFFFu}, newer{6, 1234, 3, true, 0, 7, 1};
    const std::string a = EncodeProgressSlot(older), b = EncodeProgressSlot(newer);
    ASSERT_EQ(a.size(), kProgressSlotSize);
    ASSERT_EQ(ProgressSlotOffset(1), kProgressPageSize);
    for (const std::string& file : {Paged(a, b), Paged(b, a)}) {
        DecodedProgress d = DecodeProgress(file);
        ASSERT_EQ(d.status, Status::kValid);
        EXPECT_EQ(d.progress, newer);
        EXPECT_EQ(d.slot, file.substr(0, kProgressSlotSize) == b ? 0 : 1);
        EXPECT_TRUE(d.olderValid);
        EXPECT_EQ(d.older, older);
    }
    EXPECT_EQ(DecodeProgress(a).progress, older);
    EXPECT_FALSE(DecodeProgress(a).olderValid);
    EXPECT_EQ(DecodeProgress("").status, Status::kNone);
    // Extended, but slot 1 never landed: zeros there, and slot 0 counts.
    EXPECT_EQ(DecodeProgress(Paged(a, std::string(kProgressSlotSize, '\0'))).progress, older);

    // Earlier versions: no copy, and slot 1 either a page on or right beside slot 0; the bytes
    // between count for nothing.
    const Progress v1old{5, 100, 2, false}, v1new{6, 200, 3, false};
    const std::string c = EncodeV1(v1old), d = EncodeV1(v1new);
    ASSERT_EQ(c.size(), kProgressSlotSizeV1);
    const std::pair<std::string, size_t> earlier[] = {
        {c + d, kProgressSlotSizeV1}, {Paged(c, d), kProgressPageSize}, {Paged(c + d, d), kProgressPageSize}};
    for (const auto& [file, at] : earlier) {
        DecodedProgress decoded = DecodeProgress(file);
        EXPECT_EQ(decoded.progress, v1new);
        EXPECT_EQ(decoded.at, at);
        EXPECT_EQ(decoded.slot, at < kProgressPageSize ? 0 : 1);
    }
    // Half delivered by the first layout, then a record a page on that a power cut damaged: the
    // first layout's slot 1 still counts, not its slot 0.
    DecodedProgress upgraded = DecodeProgress(Paged(c.substr(0, 72) + EncodeV1({7, 300, 4, false}), "QSOFERRY3 00"));
    EXPECT_EQ(upgraded.progress.sequence, 7u);
    EXPECT_EQ(upgraded.older, v1old);
    // Three records: the older is the next newest, wherever it lies.
    DecodedProgress three =
        DecodeProgress(Paged(c + EncodeV1({6, 150, 3, false}), EncodeProgressSlot({7, 300, 4, false})));
    EXPECT_EQ(three.progress.sequence, 7u);
    EXPECT_EQ(three.older.sequence, 6u);
    EXPECT_EQ(three.olderSlot, 0);
    // The layout before this one: the copy's range kept, nothing owed; newer than slot 0 written now.
    const Progress v2{7, 300, 4, false, 512, 900, 0xABCDEF01u};
    ASSERT_EQ(EncodeV2(v2).size(), kProgressSlotSizeV2);
    EXPECT_EQ(DecodeProgress(Paged(a, EncodeV2(v2))).progress, v2);
    // Slot 0 rewritten now beside an earlier slot 1 a page on.
    EXPECT_EQ(DecodeProgress(Paged(b, d)).progress, newer);
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
            DecodedProgress beside = DecodeProgress(Paged(EncodeProgressSlot({8, 100, 1, false}), damaged));
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
