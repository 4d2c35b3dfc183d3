// The progress journal and the copy of what was sent, each alone on the crash disk: the power is
// cut after each disk call of a run of their calls, and what their headers promise of a cut is
// checked against what the disk keeps.
#include <gtest/gtest.h>

#include "memory_disk.h"
#include "read_log.h"
#include "relay/claimed_log.h"
#include "relay/progress_journal.h"
#include "relay/sent_copy.h"

namespace qsoferry::test {
namespace {

struct PowerCut {};

// Runs `work` on a fresh disk prepared by `prepare`, the power going after disk call `k` (or never,
// past the last); gives back the disk as the cut left it, and how many calls were made.
template <typename Prepare, typename Work>
size_t RunAndCut(MemoryDisk& disk, size_t k, unsigned seed, Prepare prepare, Work work) {
    prepare(disk);
    size_t calls = 0;
    bool gone = false;  // the handles closed as the power went change nothing
    disk.beforeCall = [&](const char*) {
        if (++calls > k && !gone) {
            gone = true;
            throw PowerCut{};
        }
    };
    try {
        work(disk);
    } catch (const PowerCut&) {
    }
    disk.beforeCall = nullptr;
    std::mt19937 rng(seed);
    disk.CutPower(rng);
    return calls;
}

const std::string kProgress = "C:\\log\\wsjtx_log.adi.qsoferry.progress";

Progress Record(std::uint64_t n) {
    return Progress{n, 100 * n, n, false};
}

// A journal with records 9 and 10 from an earlier run (in today's layout, or in the first one: both
// in 144 bytes, which the next record grows through), the newest kept (or passed over, its copy
// lost: then 9 counts), then records 11 to 16 written as a delivery would: 11-12 unflushed, 13
// flushed, a pause's flush with nothing new, 14-15 unflushed, a pause's flush, 16 unflushed. After
// a cut at any call the newest record the disk holds (other than one passed over) is the last one
// flushed or newer, and was written.
TEST(ProgressJournal, APowerCutAfterAnyCallLeavesTheLastFlushedRecordOrANewerOne) {
    for (const bool firstLayout : {false, true})
        for (const bool older : {false, true}) {
            auto prepare = [firstLayout](MemoryDisk& disk) {
                disk.Put(kProgress, firstLayout ? EncodeV1(Record(9)) + EncodeV1(Record(10))
                                                : EncodeProgressSlot(Record(9)) +
                                                      std::string(kProgressPageSize - kProgressSlotSize, '\0') +
                                                      EncodeProgressSlot(Record(10)));
            };
            const std::uint64_t kept = older ? 9 : 10;
            // The newest record flushed once each disk call has returned: what a cut after it must keep.
            std::vector<std::uint64_t> flushedAfterCall;
            auto work = [&](MemoryDisk& disk) {
                ProgressJournal journal(disk);
                DecodedProgress found;
                size_t calls = 0;
                auto note = [&](std::uint64_t durable, size_t made) {
                    calls += made;
                    flushedAfterCall.resize(calls, durable);
                };
                ASSERT_TRUE(journal.Open(kProgress, found).ok());
                note(kept, 2);
                ASSERT_TRUE(journal.Keep(found, older, false).ok());
                note(kept, 1);
                std::uint64_t flushed = kept;
                for (std::uint64_t n = 11; n <= 16; ++n) {
                    ASSERT_TRUE(journal.Write(Record(n), n == 13).ok());
                    if (n == 13) flushed = 13;
                    note(flushed, 1);
                    if (n == 13 || n == 15) {
                        ASSERT_TRUE(journal.Flush().ok());  // nothing new after 13: no call
                        if (n == 15) note(flushed = 15, 1);
                    }
                }
                journal.Close();
            };
            MemoryDisk measure;
            const size_t total = RunAndCut(measure, ~size_t{0}, 1, prepare, work);
            ASSERT_EQ(total, 11u);  // the last: the file closed
            for (size_t k = 0; k <= total; ++k) {
                for (unsigned seed = 1; seed <= 60; ++seed) {
                    MemoryDisk disk;
                    flushedAfterCall.clear();
                    RunAndCut(disk, k, seed, prepare, work);
                    const size_t noted = std::min(k, flushedAfterCall.size());
                    const std::uint64_t mustKeep = noted == 0 ? kept : flushedAfterCall[noted - 1];
                    const std::string what = "cut after call " + std::to_string(k) + ", seed " + std::to_string(seed) +
                                             (older ? ", the newest passed over" : "") +
                                             (firstLayout ? ", the first layout" : "");
                    DecodedProgress left = DecodeProgress(disk.Contents(kProgress));
                    ASSERT_EQ(left.status, DecodedProgress::Status::kValid) << what;
                    Progress newest = left.progress;
                    if (older && newest.sequence == 10) {
                        ASSERT_TRUE(left.olderValid) << what;
                        newest = left.older;
                    }
                    EXPECT_GE(newest.sequence, mustKeep) << what;
                    EXPECT_EQ(newest, Record(newest.sequence)) << "a record never written; " << what;
                }
            }
        }
}

const std::string kCopyPath = "C:\\log\\wsjtx_log_sent.adi";
const std::string kLogSource = "C:\\log\\wsjtx_log_bak.adi";

// The copy's lines after its header that hold a tag.
std::vector<std::string> CopyRecords(const std::string& copy) {
    std::vector<std::string> records;
    for (size_t at = sizeof kCopyHeader - 1; at < copy.size();) {
        const size_t end = std::min(copy.find("\r\n", at), copy.size());
        if (copy.compare(at, 1, "<") == 0) records.push_back(copy.substr(at, end - at));
        at = end + 2;
    }
    return records;
}

// A new copy begun, three contacts planned as the sender writes them (the third flushed, padded),
// one appended by the window, then flushed: after a cut at any call, the header and every
// contact flushed before the cut are there, byte for byte, and the flushed part ends on a sector.
TEST(SentCopy, APowerCutAfterAnyCallKeepsTheHeaderAndEveryFlushedContact) {
    auto prepare = [](MemoryDisk& disk) { disk.Put(kLogSource, "head <call:2>K4 <eor>\r\n"); };
    std::vector<std::string> flushed;  // the copy's flushed part as of each call
    auto work = [&flushed](MemoryDisk& disk) {
        SentCopy copy(disk);
        Progress p;
        auto note = [&](size_t calls) {
            const std::string now = disk.Contents(kCopyPath);
            flushed.resize(calls, now.substr(0, static_cast<size_t>(p.copyFrom)));
        };
        ASSERT_TRUE(copy.Open(kCopyPath).ok());
        note(1);
        ASSERT_TRUE(copy.Begin(nullptr, p).ok());
        note(3);  // read what is there, write the header flushed (an empty file reads nothing)
        for (int i = 1; i <= 3; ++i) {
            const std::string text = "<call:2>K" + std::to_string(i) + " <eor>";
            SentCopy::Write w = SentCopy::Plan(text.size(), Crc32(p.copyCrc, text), i == 3, p);
            ASSERT_TRUE(disk.WriteFileAt(copy.Handle(), w.at, text + w.tail, i == 3).ok());
            note(3 + i);
        }
        // A contact the copy lacked, from its log: opened, read, written, its line end written.
        FileHandle log = kNoFile;
        std::uint64_t size = 0;
        ASSERT_TRUE(disk.OpenFile(kLogSource, FileAccess::kRead, log, size).ok());
        bool textRead = true;
        ASSERT_TRUE(copy.Append(log, 5, size - 2, p, textRead).ok());
        note(10);
        ASSERT_TRUE(copy.Flush(p).ok());
        note(11);
        EXPECT_EQ(p.copyEnd % kCopySector, 0u);
        copy.Close();
        disk.CloseFile(log);
    };
    MemoryDisk measure;
    const size_t total = RunAndCut(measure, ~size_t{0}, 1, prepare, work);
    ASSERT_EQ(total, 13u);  // the last two: the files closed
    EXPECT_EQ(
        CopyRecords(measure.Contents(kCopyPath)),
        (std::vector<std::string>{"<call:2>K1 <eor>", "<call:2>K2 <eor>", "<call:2>K3 <eor>", "<call:2>K4 <eor>"}));
    for (size_t k = 1; k <= total; ++k) {
        for (unsigned seed = 1; seed <= 60; ++seed) {
            MemoryDisk disk;
            flushed.clear();
            RunAndCut(disk, k, seed, prepare, work);
            const size_t noted = std::min(k, flushed.size());
            const std::string kept = noted == 0 ? "" : flushed[noted - 1];
            const std::string left = disk.Contents(kCopyPath);
            EXPECT_EQ(left.substr(0, kept.size()), kept) << "cut after call " << k << ", seed " << seed;
            EXPECT_EQ(kept.size() % kCopySector, 0u);
            if (kept.size() >= sizeof kCopyHeader - 1) EXPECT_EQ(left.rfind(kCopyHeader, 0), 0u);
        }
    }
}

const std::string kLogPath = "C:\\log\\wsjtx_log.adi";

// A log claimed while what the decoder wrote is still in the cache, its progress made and flushed
// (which puts the claim on the disk with it), then every contact delivered and the log removed:
// after a cut at any call, the log is under exactly one of its names or gone, and gone only once
// its progress says all were delivered (or is gone too); a claimed log is never left without the
// progress that was flushed for it; and once opened, it is whole on the disk.
TEST(ClaimedLog, APowerCutAfterAnyCallLeavesTheLogUnderOneNameAndItsProgressWithIt) {
    const std::string log = "WSJT-X ADIF Export<eoh>\r\n<call:2>K1 <eor>\r\n";
    auto prepare = [&log](MemoryDisk& disk) { disk.Put(kLogPath, log); };
    bool opened = false;
    auto work = [&opened](MemoryDisk& disk) {
        ClaimedLog claimed(disk);
        claimed.SetLogPath(kLogPath);
        ASSERT_TRUE(claimed.Claim().ok());
        std::uint64_t size = 0;
        ASSERT_TRUE(claimed.Open(size).ok());
        opened = true;
        ProgressJournal journal(disk);
        DecodedProgress found;
        ASSERT_TRUE(journal.Open(claimed.ProgressPath(), found).ok());
        ASSERT_TRUE(journal.Begin(Progress{1, 0, 0, false}).ok());
        ASSERT_TRUE(journal.Flush().ok());
        ASSERT_TRUE(journal.Write(Progress{2, size, 1, true}, true).ok());
        journal.Close();
        ASSERT_TRUE(claimed.Remove().ok());
    };
    MemoryDisk measure;
    const size_t total = RunAndCut(measure, ~size_t{0}, 1, prepare, work);
    EXPECT_FALSE(measure.Exists(kLogPath + ".qsoferry"));
    for (size_t k = 0; k <= total; ++k) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            MemoryDisk disk;
            opened = false;
            RunAndCut(disk, k, seed, prepare, work);
            const bool atLog = disk.Exists(kLogPath), claimed = disk.Exists(kLogPath + ".qsoferry");
            const bool progress = disk.Exists(kLogPath + ".qsoferry.progress");
            const std::string what = "cut after call " + std::to_string(k) + ", seed " + std::to_string(seed);
            EXPECT_FALSE(atLog && claimed) << what;
            // Before that, a cut may take back what the decoder wrote: that is the decoder's loss.
            if (opened && atLog) EXPECT_EQ(disk.Contents(kLogPath), log) << what;
            if (opened && claimed) EXPECT_EQ(disk.Contents(kLogPath + ".qsoferry"), log) << what;
            if (!atLog && !claimed && progress) {
                DecodedProgress left = DecodeProgress(disk.Contents(kLogPath + ".qsoferry.progress"));
                EXPECT_TRUE(left.status == DecodedProgress::Status::kValid && left.progress.complete) << what;
            }
            if (atLog) EXPECT_FALSE(progress) << "a progress beside an unclaimed log: " << what;
        }
    }
}

// A disk whose reads come back short, as a read may: a few kilobytes at most.
class ShortReads : public MemoryDisk {
public:
    FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) override {
        return MemoryDisk::ReadFileAt(file, offset, buffer, std::min<size_t>(size, 3000), got);
    }
};

// Where a contact lies and the CRC of its bytes, with reads that come back short: also for one
// longer than the reader holds, whose bytes are read again from the file.
TEST(ClaimedLog, AContactsSpanIsWholeWhenReadsComeBackShort) {
    for (const size_t length : {100, 300 * 1000}) {
        const std::string record =
            "<call:2>K1 <comment:" + std::to_string(length) + ">" + std::string(length, 'x') + " <eor>";
        const std::string log = "WSJT-X ADIF Export<eoh>\r\n  " + record + " \r\n";
        ShortReads disk;
        disk.Put(kLogPath + ".qsoferry", log);
        ClaimedLog claimed(disk);
        claimed.SetLogPath(kLogPath);
        std::uint64_t size = 0;
        ASSERT_TRUE(claimed.Open(size).ok());
        LogReader reader;
        QsoRecord contact;
        for (LogReader::Step step; (step = reader.Next(contact)) != LogReader::Step::kContact;) {
            ASSERT_EQ(step, LogReader::Step::kNeedInput) << length;
            ASSERT_TRUE(claimed.Fill(reader).ok()) << length;
        }
        std::uint64_t from = 0, to = 0;
        std::uint32_t crc = 0;
        ASSERT_TRUE(claimed.RecordSpan(reader, from, to, crc).ok()) << length;
        EXPECT_EQ(from, log.find('<', log.find("<eoh>") + 1)) << length;
        EXPECT_EQ(to, from + record.size()) << length;
        EXPECT_EQ(crc, Crc32(record)) << length;
    }
}

}  // namespace
}  // namespace qsoferry::test
