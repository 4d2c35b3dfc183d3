// The delivery engine on its own, driven as the view drives it: the bridge ending at any platform
// call, the logger going away at any send or taking its time, the progress that cannot be written,
// bad state on disk, a second bridge, the end of a Windows session. Files on the disk in memory;
// each contact must reach the logger.
#include "relay/courier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <random>
#include <set>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "read_log.h"
#include "view_fixture.h"

namespace qsoferry::test {
namespace {

const std::string kLog = kJtdxFolder + "wsjtx_log.adi";
const std::string kCopy = kJtdxFolder + kCopyFileName;
const std::string kFiveContacts =
    DecoderLog({"<call:2>K1", "<call:2>K2 <name:2>Jo", "<call:2>K3 <eor> <call:2>K4", "<call:2>K5 <band:3>20m"});
const std::vector<std::string> kAllFive = {"K1", "K2", "K3", "K4", "K5"};

// The operator as the form would be: messages go to the fake's message box, the queue is drained
// between lines.
class TestOperator : public Operator {
public:
    explicit TestOperator(FakePlatform& platform) : m_platform(platform) {}
    void Tell(const std::string& message) override { m_platform.ShowMessage(message); }
    bool LeaveOutFrequency() override { return noFreq; }
    void Relayed(const RelayedContact& contact) override { relayed.push_back(contact.call); }
    std::vector<std::string> relayed;
    void BetweenLines() override {
        while (m_platform.DispatchPendingMessage() == DrainResult::kDispatched) {
        }
    }
    bool noFreq = false;

private:
    FakePlatform& m_platform;
};

// One bridge's engine on the platform's files and logger.
struct Bridge {
    explicit Bridge(FakePlatform& platform) : p(platform), op(platform), courier(platform, platform, platform, op) {
        courier.SetLogPath(kLog);
        courier.SetCopyPath(kCopy);
        p.sendDone = [this] {
            p.TakeNotice();  // as the view does: it has heard, then the engine takes its results
            courier.SendDone();
        };
    }
    ~Bridge() { p.sendDone = nullptr; }
    // A tick with the logger as it is now, then the message loop.
    void Tick() {
        courier.Tick(p.FindWindowByClass("DXbase"));
        p.RunQueue();
    }
    void TickUntilQuiet(int limit = 8) {
        for (int i = 0; i < limit; ++i) {
            size_t before = p.sent.size();
            Tick();
            if (p.sent.size() == before && !p.Exists(courier.ClaimPath()) && !p.Exists(kLog)) return;
        }
    }

    FakePlatform& p;
    TestOperator op;
    Courier courier;
};

// Every contact arrived, in order; at most `repeats` of them twice, each right after itself.
::testing::AssertionResult AllInOrder(const std::vector<std::string>& calls,
                                      int repeatsAllowed,
                                      const std::vector<std::string>& expected = kAllFive) {
    std::vector<std::string> unique;
    int repeats = 0;
    for (const std::string& call : calls) {
        if (!unique.empty() && unique.back() == call) {
            ++repeats;
            continue;
        }
        unique.push_back(call);
    }
    if (unique == expected && repeats <= repeatsAllowed) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ::testing::PrintToString(calls);
}

// The lines of the copy after its header, without their line ends.
std::vector<std::string> CopyLines(const FakePlatform& p) {
    std::vector<std::string> lines;
    const std::string copy = p.Exists(kCopy) ? p.Contents(kCopy) : "";
    if (copy.empty()) return lines;
    if (copy.compare(0, sizeof kCopyHeader - 1, kCopyHeader) != 0) return {"(no header)"};
    for (size_t at = sizeof kCopyHeader - 1; at < copy.size();) {
        size_t end = std::min(copy.find('\n', at), copy.size());
        std::string line = copy.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// What the copy promises once delivery has ended: every contact of the log, as the decoder wrote it
// and on a line of its own, in the log's order, at least once. Other lines are what a power cut
// damaged, or left behind from before it (see CopyHoldsOnlySent), or the padding.
::testing::AssertionResult CopyHoldsAll(const FakePlatform& p, const std::vector<std::string>& expected) {
    size_t next = 0;
    for (const std::string& line : CopyLines(p)) {
        if (line == "(no header)") return ::testing::AssertionFailure() << line;
        if (next < expected.size() && line == expected[next]) ++next;
    }
    if (next < expected.size()) return ::testing::AssertionFailure() << "missing: " << expected[next];
    return ::testing::AssertionSuccess();
}

// At any moment: each contact the copy holds has reached the logger.
::testing::AssertionResult CopyHoldsOnlySent(const FakePlatform& p, const std::vector<std::string>& records) {
    const std::vector<std::string> sent = CallsAtLogger(p);
    for (const std::string& line : CopyLines(p)) {
        if (std::find(records.begin(), records.end(), line) == records.end()) continue;
        const size_t call = line.find('>') + 1;
        if (std::find(sent.begin(), sent.end(), line.substr(call, line.find(' ') - call)) == sent.end())
            return ::testing::AssertionFailure() << "copied, never sent: " << line;
    }
    return ::testing::AssertionSuccess();
}

const std::vector<std::string> kFiveCopied = {"<call:2>K1 <eor>", "<call:2>K2 <name:2>Jo <eor>", "<call:2>K3 <eor>",
                                              "<call:2>K4 <eor>", "<call:2>K5 <band:3>20m <eor>"};

void ExpectNothingLeft(const FakePlatform& p, const Courier& courier, const std::string& what = "") {
    EXPECT_FALSE(p.Exists(kLog)) << what;
    EXPECT_FALSE(p.Exists(courier.ClaimPath())) << what;
    EXPECT_FALSE(p.Exists(courier.ProgressPath())) << what;
}

// What one whole delivery of `log` takes, undisturbed: the loops below disturb each step of it.
struct Undisturbed {
    size_t calls = 0;        // platform calls
    int fileOperations = 0;  // of them, opens, reads, writes, moves and removals
    size_t sent = 0;
};
// Delivers all there is. A slow logger holds each contact until the next tick has come, so that
// one contact is in flight and the next waits behind it.
void Deliver(FakePlatform& p, Bridge& bridge, bool slow) {
    p.holdSends = slow;
    for (int answers = 0; slow && answers < 1000 && p.Exists(bridge.courier.ClaimPath()) + p.Exists(kLog); ++answers) {
        bridge.Tick();
        p.ReleaseSend();
        p.RunQueue();
    }
    p.holdSends = false;
    bridge.TickUntilQuiet();
}

Undisturbed DeliverUndisturbed(const std::string& log, bool slow = false) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.WriteFile(kLog, log);
    Deliver(p, bridge, slow);
    return {p.calls.size(), p.fileOperations, p.sent.size()};
}

// A bridge delivers from the files `p` holds, and its process ends at platform call k (or after
// its last). True when it ended in the middle.
bool EndAfterCall(FakePlatform& p, size_t k, bool slow = false) {
    Bridge bridge(p);
    p.crashAfterCalls = k;
    try {
        Deliver(p, bridge, slow);
    } catch (const Crashed&) {
    }
    p.crashAfterCalls = 0;
    p.holdSends = false;
    return p.crashed;
}  // the bridge is dropped as it was: whatever it would still do goes nowhere

TEST(Courier, TheBridgeEndingAfterAnyPlatformCallLosesNothing) {
    const Undisturbed whole = DeliverUndisturbed(kFiveContacts);
    ASSERT_EQ(whole.sent, 5u);
    const size_t total = whole.calls;
    for (size_t k = 1; k < total; ++k) {  // the call after the k-th is the last one made
        FakePlatform p;
        p.AddWindow("DXbase", "");
        p.WriteFile(kLog, kFiveContacts);
        ASSERT_TRUE(EndAfterCall(p, k)) << k;
        const std::string lastCall = p.calls.back();
        EXPECT_TRUE(CopyHoldsOnlySent(p, kFiveCopied)) << "ended after call " << k << ": " << lastCall;
        p.Restart();
        Bridge again(p);
        again.TickUntilQuiet();
        EXPECT_TRUE(AllInOrder(CallsAtLogger(p), 1)) << "ended after call " << k << ": " << lastCall;
        EXPECT_TRUE(CopyHoldsAll(p, kFiveCopied)) << "ended after call " << k << ": " << lastCall;
        EXPECT_TRUE(p.messages.empty()) << "ended after call " << k << ": " << ::testing::PrintToString(p.messages);
        ExpectNothingLeft(p, again.courier);
    }
}

// A cut after the delivery had reached `atCut` contacts: the logger got the contacts before it in
// order, then the next start went on from at most kFlushEveryContacts back and to the end, in
// order, each contact's text whole.
::testing::AssertionResult AfterACut(const FakePlatform& p, size_t atCut, const std::vector<std::string>& expected) {
    std::vector<std::string> got;
    for (const SentCopyData& s : p.sent)
        got.push_back(s.bytes);
    auto fail = [&](const std::string& why) {
        return ::testing::AssertionFailure() << why << " (" << got.size() << " sent, " << atCut << " before the cut)";
    };
    if (got.size() < atCut || !std::equal(got.begin(), got.begin() + atCut, expected.begin())) {
        return fail("before the cut, not in order");
    }
    size_t rest = got.size() - atCut;
    if (rest > expected.size()) return fail("more than the whole log after the cut");
    size_t from = expected.size() - rest;  // where the next start went on
    if (from > atCut) return fail("contacts lost");
    if (atCut - from > kFlushEveryContacts) return fail("more repeats than the flush period");
    if (!std::equal(got.begin() + atCut, got.end(), expected.begin() + from))
        return fail("after the cut, not in order");
    return ::testing::AssertionSuccess();
}

TEST(Courier, APowerCutAfterAnyPlatformCallLosesNothing) {
    // A backlog longer than the flush period, and a contact with no line end after it last.
    std::vector<std::string> contacts;
    for (int i = 0; i < 250; ++i)
        contacts.push_back("<call:5>K" + std::to_string(1000 + i) + " <freq:9>14.074123 <gridsquare:4>jo62");
    std::string log = DecoderLog(contacts);
    log.resize(log.size() - 2);
    const std::vector<std::string> expected = ReadLog(log).records;
    ASSERT_EQ(expected.size(), 250u);
    std::vector<std::string> copied;
    for (const std::string& contact : contacts)
        copied.push_back(contact + " <eor>");

    // The decoder logged most of the backlog long ago; its last contacts are still in the system's
    // cache (it never flushes) as the bridge takes the log.
    const std::string settled = log.substr(0, log.rfind("\r\n", log.size() / 2) + 2);
    // Those in the sectors the append does not write again (the last may be cut short): a cut may
    // tear the sector the append shares with what was there.
    const size_t intact = ReadLog(settled.substr(0, settled.size() / 512 * 512)).records.size() - 1;
    const std::vector<std::string> copiedSettled(copied.begin(), copied.begin() + intact);
    // With a logger that answers at once, and with one that takes its time (a contact in flight, the
    // next behind it, as the records around each 100th are planned).
    const unsigned seed = std::random_device()();
    std::mt19937 rng(seed);
    for (const bool slow : {false, true}) {
        const Undisturbed whole = DeliverUndisturbed(log, slow);
        ASSERT_EQ(whole.sent, 250u);
        const size_t total = whole.calls;
        // Every cut point is too many for a quick test: the first and last calls of the delivery, and
        // others drawn in between, each with its own draw of what the cut leaves.
        std::vector<size_t> points;
        for (size_t k = 1; k <= total; ++k) {
            if (k <= 40 || k + 40 > total || rng() % 12 == 0) points.push_back(k);
        }
        for (size_t k : points) {
            const unsigned cutSeed = static_cast<unsigned>(rng());
            SCOPED_TRACE(::testing::Message()
                         << "seed " << seed << (slow ? ", a slow logger" : "") << ", cut after call " << k << " of "
                         << total << ", cut seed " << cutSeed);
            FakePlatform p;
            p.AddWindow("DXbase", "");
            p.WriteFile(kLog, settled);
            p.disk.Settle();
            p.WriteFile(kLog, log);
            EndAfterCall(p, k, slow);  // past the last call, the power goes once all is done
            const size_t atCut = p.sent.size();
            p.CutPower(cutSeed);
            EXPECT_TRUE(CopyHoldsOnlySent(p, copied));
            // Nothing was sent before the bridge put the log on the disk; a cut before that may take
            // back what the decoder had only in the cache, which is the decoder's loss.
            Bridge again(p);
            again.TickUntilQuiet();
            if (atCut > 0) {
                EXPECT_TRUE(AfterACut(p, atCut, expected));
            } else {
                // What the decoder had on the disk before the bridge came reaches the logger, in order.
                ASSERT_GE(p.sent.size(), intact);
                for (size_t i = 0; i < intact; ++i)
                    EXPECT_EQ(p.sent[i].bytes, expected[i]) << "contact " << i;
            }
            EXPECT_TRUE(CopyHoldsAll(p, atCut > 0 ? copied : copiedSettled));
            // A progress the cut damaged is told once; nothing else is.
            EXPECT_LE(p.messages.size(), 1u) << ::testing::PrintToString(p.messages);
            for (const std::string& m : p.messages)
                EXPECT_NE(m.find("does not fit its log file"), std::string::npos) << "told: " << m;
            ExpectNothingLeft(p, again.courier);
        }
    }
}

// A bridge delivers until the logger is about to get contact `at` (counted from 0); then its
// process ends. `before` runs before each send with the number sent so far.
void RunUntilSent(FakePlatform& p, size_t at, const std::function<void(size_t)>& before = {}) {
    Bridge bridge(p);
    p.beforeSend = [&p, at, &before] {
        if (before) before(p.sent.size());
        if (p.sent.size() != at) return;
        p.crashed = true;
        throw Crashed{};
    };
    try {
        for (int tick = 0; tick < 8 && !p.crashed; ++tick) {
            if (!p.FindWindowByClass("DXbase")) p.AddWindow("DXbase", "");
            bridge.Tick();
        }
    } catch (const Crashed&) {
    }
    p.beforeSend = nullptr;
}

// Where delivery went on after a cut, and what the logger got from there on, checked against the
// whole log: at most the flush period back from the furthest contact reached, then all in order.
void ExpectWentOnAfterTheCut(const FakePlatform& p, size_t atCut, const std::vector<std::string>& expected) {
    std::set<std::string> reached;
    for (size_t i = 0; i < atCut; ++i)
        reached.insert(p.sent[i].bytes);
    ASSERT_GT(p.sent.size(), atCut);
    const size_t from = std::find(expected.begin(), expected.end(), p.sent[atCut].bytes) - expected.begin();
    EXPECT_LE(reached.size() - from, kFlushEveryContacts) << "went on from contact " << from;
    std::vector<std::string> after;
    for (size_t i = atCut; i < p.sent.size(); ++i)
        after.push_back(p.sent[i].bytes);
    EXPECT_EQ(after, std::vector<std::string>(expected.begin() + from, expected.end()));
}

// The copy cannot be written (a full disk) from the contact after `sent` on; the operator closes
// the bridge, frees the disk and starts it again.
void CopyFullFromThenRestart(FakePlatform& p, size_t sent) {
    {
        Bridge bridge(p);
        p.beforeSend = [&p, sent] {
            if (p.sent.size() == sent) p.FailNext("write", kCopy, FileStatus::kFull, 1000);
        };
        bridge.Tick();
        bridge.courier.Close(p.nowMs + kCloseWaitMs);
        p.beforeSend = nullptr;
    }
    p.Restart();
    p.FailNext("write", kCopy, FileStatus::kFull, 0);
}

// An interruption, then the power goes some contacts later: a bridge killed 50 contacts after its
// last flush (its last records and copies in the cache only) and started again, or a failure on
// the way (a record that cannot be written, the copy's flush failing at a pause). Whatever the
// bridge flushed afterwards never counted on what was only in the cache, so at most 100 go again,
// none is lost, and the copy has them all.
TEST(Courier, AnInterruptionThenAPowerCutRepeatsAtMostTheFlushPeriod) {
    std::vector<std::string> contacts, copied;
    for (int i = 0; i < 300; ++i) {
        contacts.push_back("<call:5>K" + std::to_string(2000 + i) + " <gridsquare:4>jo62");
        copied.push_back(contacts.back() + " <eor>");
    }
    const std::string log = DecoderLog(contacts);
    const std::vector<std::string> expected = ReadLog(log).records;
    // Delivers until 30 contacts after the one that fails as it goes (the 131st).
    auto failingAt131 = [](std::function<void(FakePlatform&)> fail) {
        return [fail](FakePlatform& p) {
            bool failed = false;
            RunUntilSent(p, 160, [&](size_t sent) {
                if (sent == 130 && !failed) fail(p);
                failed = failed || sent == 130;
            });
        };
    };
    const struct {
        const char* what;
        std::function<void(FakePlatform&)> run;  // until the cut
    } cases[] = {
        {"killed, started again",
         [](FakePlatform& p) {
             RunUntilSent(p, 150);
             p.Restart();
             RunUntilSent(p, 211);  // the contact in flight at the kill went again
         }},
        {"the record of contact 131 fails", failingAt131([](FakePlatform& p) { p.failNextRecord = true; })},
        {"the logger leaves at 131 and the copy's flush at that pause fails", failingAt131([](FakePlatform& p) {
             p.failNextSend = SendResult::kGone;
             p.FailNext("flush", kCopy, FileStatus::kFailed, 1);
         })},
        {"the copy cannot be written from contact 131 on, the bridge is closed and started again",
         [](FakePlatform& p) {
             CopyFullFromThenRestart(p, 130);
             RunUntilSent(p, 170);
         }},
        {"the copy cannot be written from contact 151 on; once it can, its flush fails at each rewrite of the "
         "record that owes it, and the process ends",
         [](FakePlatform& p) {
             CopyFullFromThenRestart(p, 150);
             Bridge again(p);
             bool failing = false;
             p.afterRead = [&](const std::string& path) {
                 if (failing || path != again.courier.ClaimPath()) return;
                 failing = true;
                 p.FailNext("flush", kCopy, FileStatus::kFailed, 2);
             };
             again.Tick();
             p.afterRead = nullptr;
             p.crashed = true;
         }},
    };
    for (const auto& c : cases) {
        for (unsigned seed = 1; seed <= 30; ++seed) {
            SCOPED_TRACE(::testing::Message() << c.what << ", cut seed " << seed);
            FakePlatform p;
            p.AddWindow("DXbase", "");
            p.WriteFile(kLog, log);
            c.run(p);
            const size_t atCut = p.sent.size();
            ASSERT_GT(atCut, 150u);
            p.CutPower(seed);
            Bridge again(p);
            again.TickUntilQuiet();
            ExpectWentOnAfterTheCut(p, atCut, expected);
            EXPECT_TRUE(CopyHoldsAll(p, copied));
            ExpectNothingLeft(p, again.courier);
        }
    }
}

// The copy cannot be put on the disk as the last contact is delivered: the log does not end (it
// would take its contacts' only other trace with it), and once the copy can be flushed it does.
// Whatever a power cut leaves meanwhile, the copy has every contact afterwards.
TEST(Courier, ALogEndsOnlyOnceItsCopyIsOnTheDisk) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        p.WriteFile(kLog, kFiveContacts);
        {
            Bridge bridge(p);
            p.beforeSend = [&p] {
                if (p.sent.size() == 4) p.FailNext("flush", kCopy, FileStatus::kFailed, 1);
            };
            bridge.Tick();
            p.beforeSend = nullptr;
            ASSERT_EQ(p.sent.size(), 5u);
            EXPECT_TRUE(p.Exists(bridge.courier.ClaimPath())) << "seed " << seed;
        }
        p.CutPower(seed);
        Bridge again(p);
        again.TickUntilQuiet();
        EXPECT_TRUE(AllInOrder(CallsAtLogger(p), 5)) << "seed " << seed;
        EXPECT_TRUE(CopyHoldsAll(p, kFiveCopied)) << "seed " << seed;
        ExpectNothingLeft(p, again.courier);
    }
}

// Each record is copied from its first tag to its end, whole: after a megabyte of blank lines, or
// itself longer than a megabyte, or last in the file without its end-of-record tag (the line end
// after it is no part of it).
TEST(Courier, TheCopyHoldsEachRecordWholeWhateverSurroundsIt) {
    const std::string blanks(1200 * 1024, '\n'), spaces(1100 * 1024, ' ');
    const std::string longComment = "<comment:1300000>" + std::string(1300 * 1000, 'x');
    const std::string log = "WSJT-X ADIF Export<eoh>\r\n<call:2>K1 <eor>\r\n" + blanks + "<call:2>K2 <eor>" + spaces +
                            "<call:2>K3 " + longComment + " <eor>\r\n\r\n<call:2>K4 <band:3>20m \r\n";
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.WriteFile(kLog, log);
    bridge.TickUntilQuiet();
    EXPECT_EQ(CallsAtLogger(p), (std::vector<std::string>{"K1", "K2", "K3", "K4"}));
    EXPECT_EQ(CopyLines(p)[2], "<call:2>K2 <eor>");
    EXPECT_TRUE(CopyHoldsAll(
        p, {"<call:2>K1 <eor>", "<call:2>K2 <eor>", "<call:2>K3 " + longComment + " <eor>", "<call:2>K4 <band:3>20m"}));
}

// The copy's last line has no line end (an editor saved it so): the line end it gets counts with the
// records after it, so a bridge that ends with them only in the cache goes on after the last.
TEST(Courier, ACopyWhoseLastLineLacksItsEndRepeatsNothingAfterARestart) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    p.WriteFile(kLog, kFiveContacts);
    p.WriteFile(kCopy, kCopyHeader + CopyPadding(sizeof kCopyHeader - 1) + "<call:2>K0 <eor>");
    RunUntilSent(p, 3);
    p.Restart();
    Bridge again(p);
    again.TickUntilQuiet();
    EXPECT_EQ(CallsAtLogger(p), kAllFive);
    EXPECT_TRUE(p.messages.empty()) << ::testing::PrintToString(p.messages);
    EXPECT_TRUE(CopyHoldsAll(p, kFiveCopied));
    ExpectNothingLeft(p, again.courier);
}

TEST(Courier, TheCopyIsPaddedToASectorWithALineOfItsOwn) {
    for (std::uint64_t end = 0; end < 3 * kCopySector; ++end) {
        const std::string padding = CopyPadding(end);
        EXPECT_EQ((end + padding.size()) % kCopySector, 0u) << end;
        if (end % kCopySector == 0) {
            EXPECT_EQ(padding, "") << end;
        } else {
            ASSERT_GE(padding.size(), 2u) << end;
            EXPECT_EQ(padding.substr(padding.size() - 2), "\r\n") << end;
            EXPECT_EQ(padding.find_first_not_of(' '), padding.size() - 2) << end;
        }
    }
}

TEST(Courier, ALoggerThatGoesAwayAtAnySendGetsEveryContactOnce) {
    for (int k = 1; k <= 5; ++k) {
        FakePlatform p;
        WindowHandle firstLogger = p.AddWindow("DXbase", "");
        Bridge bridge(p);
        p.WriteFile(kLog, kFiveContacts);
        int sends = 0;
        p.beforeSend = [&] {
            if (++sends == k) p.RemoveWindow(firstLogger);
        };
        bridge.Tick();
        EXPECT_EQ(p.sent.size(), static_cast<size_t>(k - 1)) << "delivery stops at the contact that found no logger";
        bridge.Tick();  // no logger: nothing happens
        p.AddWindow("DXbase", "");
        bridge.Tick();
        EXPECT_EQ(CallsAtLogger(p), kAllFive) << k;
        ExpectNothingLeft(p, bridge.courier);
    }
}

TEST(Courier, NothingIsSentWhoseDeliveryCannotBeRecordedOrCopied) {
    // k = 0: the progress (or the copy) cannot even be begun; k > 0: the record (or the copy) of
    // the k-th contact fails, and goes on failing until the disk is cleared.
    for (const std::string& file : {std::string(".progress"), kCopy}) {
        for (int k = 0; k <= 5; ++k) {
            FakePlatform p;
            p.AddWindow("DXbase", "");
            Bridge bridge(p);
            p.WriteFile(kLog, kFiveContacts);
            const std::string path = file == kCopy ? kCopy : bridge.courier.ProgressPath();
            if (k == 0) p.FailNext("write", path, FileStatus::kFull, 1000);
            int sends = 0;
            p.beforeSend = [&] {
                if (++sends == k) p.FailNext("write", path, FileStatus::kFull, 1000);
            };
            const std::string what = path + " failing at contact " + std::to_string(k);
            bridge.Tick();
            EXPECT_EQ(p.sent.size(), static_cast<size_t>(k)) << "nothing goes after a delivery that is not on record";
            bridge.Tick();
            EXPECT_EQ(p.sent.size(), static_cast<size_t>(k)) << "still failing: still nothing";
            // The copy never falls behind the logger by more than the contact in hand.
            const std::vector<std::string> inHand(kFiveCopied.begin(), kFiveCopied.begin() + std::max(k - 1, 0));
            EXPECT_TRUE(CopyHoldsAll(p, inHand)) << what;
            ASSERT_EQ(p.messages.size(), 1u) << what;
            EXPECT_NE(p.messages[0].find(path), std::string::npos);
            EXPECT_NE(bridge.courier.Problem().find("the disk is full"), std::string::npos) << what;
            p.FailNext("write", path, FileStatus::kFailed, 0);
            bridge.TickUntilQuiet();
            EXPECT_EQ(CallsAtLogger(p), kAllFive) << what;
            EXPECT_TRUE(CopyHoldsAll(p, kFiveCopied)) << what;
            EXPECT_EQ(bridge.courier.Problem(), "") << what;
            ExpectNothingLeft(p, bridge.courier, what);
        }
    }
}

// The copy cannot be written (a full disk) when the logger has taken contact k, and the operator
// closes the bridge while the logger is idle: the next start sends nothing twice, and once the
// copy can be written again it has every contact, also the one it lacked, once: also when the
// bridge ends right after the copy got it, its record rewritten, before the next contact goes.
TEST(Courier, ACloseWhileTheCopyCannotBeWrittenRepeatsNothing) {
    for (int k = 1; k <= 5; ++k) {
        const std::string what = "the copy failing at contact " + std::to_string(k);
        FakePlatform p;
        p.AddWindow("DXbase", "");
        p.WriteFile(kLog, kFiveContacts);
        {
            Bridge bridge(p);
            int sends = 0;
            p.beforeSend = [&] {
                if (++sends == k) p.FailNext("write", kCopy, FileStatus::kFull, 1000);
            };
            bridge.Tick();
            bridge.Tick();
            ASSERT_EQ(p.sent.size(), static_cast<size_t>(k)) << what;
            bridge.courier.Close(p.nowMs + kCloseWaitMs);
            p.beforeSend = nullptr;
        }
        p.Restart();
        {
            Bridge again(p);
            again.Tick();
            EXPECT_EQ(p.sent.size(), static_cast<size_t>(k)) << "the copy still fails: nothing goes; " << what;
            p.FailNext("write", kCopy, FileStatus::kFailed, 0);
            p.beforeSend = [&p] {
                p.crashed = true;
                throw Crashed{};
            };
            try {
                again.Tick();
            } catch (const Crashed&) {
            }
            p.beforeSend = nullptr;
        }
        p.Restart();
        Bridge again(p);
        again.TickUntilQuiet();
        EXPECT_EQ(CallsAtLogger(p), kAllFive) << what;
        const std::vector<std::string> lines = CopyLines(p);
        for (const std::string& record : kFiveCopied)
            EXPECT_EQ(std::count(lines.begin(), lines.end(), record), 1) << record << ", " << what;
        ExpectNothingLeft(p, again.courier, what);
    }
}

// What a progress file holding the resume point after contact 2 (K2) of kFiveContacts says.
Progress AfterK2() {
    return {7, ReadLog(kFiveContacts).resume.at(1), 2, false};
}

struct DiskCase {
    const char* what;
    bool claimed;          // the contacts wait in a claimed file, not in the log
    std::string progress;  // what lies in the progress file ("" : none)
    std::vector<std::string> calls;
    bool reported;
    std::string log = kFiveContacts;
    std::string copy;  // what lies in the copy ("" : none)
};

TEST(Courier, BadStateOnDiskIsReportedAndLosesNothing) {
    const std::string afterK2 = EncodeProgressSlot(AfterK2());
    Progress past = AfterK2();
    past.offset = kFiveContacts.size() + 1;
    Progress done = AfterK2();
    done.complete = true;
    const std::vector<std::string> rest = {"K3", "K4", "K5"};
    const Progress afterK1 = {6, ReadLog(kFiveContacts).resume.at(0), 1, false};
    // The last contact without a line end after it: its resume offset is the file's size.
    const std::string unended = kFiveContacts.substr(0, kFiveContacts.size() - 2);
    const Progress atTheEnd = {9, unended.size(), 5, false};
    // K2 reached the logger and not the copy; and the same with a place past the file's end.
    Progress owesK2 = AfterK2();
    owesK2.owedFrom = kFiveContacts.find("<call:2>K2");
    owesK2.owedTo = owesK2.owedFrom + std::string("<call:2>K2 <name:2>Jo <eor>").size();
    Progress owesPast = owesK2;
    owesPast.owedTo = kFiveContacts.size() + 1;
    // Both records count on copies since the copy's last flush, and the copy holds other bytes there
    // (another file as long put in its place): neither counts, and all go again, so that the copy
    // gets them.
    const std::string flushedCopy = kCopyHeader + CopyPadding(sizeof kCopyHeader - 1);
    const std::string k1 = "<call:2>K1 <eor>\r\n", k2 = "<call:2>K2 <name:2>Jo <eor>\r\n";
    Progress copiedK1 = afterK1, copiedK2 = AfterK2();
    copiedK1.copyFrom = copiedK2.copyFrom = flushedCopy.size();
    copiedK1.copyEnd = flushedCopy.size() + k1.size();
    copiedK1.copyCrc = Crc32(k1);
    copiedK2.copyEnd = copiedK1.copyEnd + k2.size();
    copiedK2.copyCrc = Crc32(k1 + k2);
    const std::string bothCopied = EncodeProgressSlot(copiedK1) +
                                   std::string(kProgressPageSize - kProgressSlotSize, '\0') +
                                   EncodeProgressSlot(copiedK2);
    const std::string copyReplaced = flushedCopy + std::string(k1.size() + k2.size() - 2, 'x') + "\r\n";
    const DiskCase cases[] = {
        {"no progress yet", true, "", kAllFive, false},
        {"resumes after the last delivered contact", true, afterK2, rest, false},
        {"a torn newer slot leaves the older one", true, afterK2 + afterK2.substr(0, 30), rest, false},
        {"the earlier layout, its newer slot second", true, EncodeV1(afterK1) + EncodeV1(AfterK2()), rest, false},
        {"a truncated record", true, afterK2.substr(0, 40), kAllFive, true},
        {"garbage", true, "hello, world", kAllFive, true},
        {"an offset past the end of its file", true, EncodeProgressSlot(past), kAllFive, true},
        {"a progress of another program", true, std::string(500, 'x'), kAllFive, true},
        {"all delivered already", true, EncodeProgressSlot(done), {}, false},
        {"a leftover progress of a fully delivered file", false, EncodeProgressSlot(done), kAllFive, false},
        {"a leftover progress of a file taken away", false, afterK2, kAllFive, true},
        {"all delivered up to a last line without its end", true, EncodeProgressSlot(atTheEnd), {}, false, unended},
        {"a contact the copy lacks", true, EncodeProgressSlot(owesK2), rest, false},
        {"what the copy lacks lies past the end of its file", true, EncodeProgressSlot(owesPast), kAllFive, true},
        {"the copy holds neither record's contacts", true, bothCopied, kAllFive, true, kFiveContacts, copyReplaced},
    };
    for (const DiskCase& c : cases) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        Bridge bridge(p);
        p.WriteFile(c.claimed ? bridge.courier.ClaimPath() : kLog, c.log);
        if (!c.progress.empty()) p.WriteFile(bridge.courier.ProgressPath(), c.progress);
        if (!c.copy.empty()) p.WriteFile(kCopy, c.copy);
        for (int tick = 0; tick < 3; ++tick)
            bridge.Tick();
        EXPECT_EQ(CallsAtLogger(p), c.calls) << c.what;
        EXPECT_EQ(p.messages.size(), c.reported ? 1u : 0u) << c.what;
        ExpectNothingLeft(p, bridge.courier, c.what);
        if (c.progress == EncodeProgressSlot(owesK2)) EXPECT_EQ(CopyLines(p)[1], kFiveCopied[1]);
    }
}

// A journal of the first layout (both records in its first sector): the record after the one that
// counts grows the file through that sector, so it goes to the disk as it is written, and a cut
// right after it never takes the record that counts with it.
TEST(Courier, AJournalOfTheFirstLayoutKeepsItsRecordThroughACutAfterTheNextContact) {
    const Progress afterK1 = {6, ReadLog(kFiveContacts).resume.at(0), 1, false};
    for (unsigned seed = 1; seed <= 30; ++seed) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        p.WriteFile(kLog + ".qsoferry", kFiveContacts);
        p.WriteFile(kLog + ".qsoferry.progress", EncodeV1(afterK1) + EncodeV1(AfterK2()));
        RunUntilSent(p, 1);  // K3 delivered and on record; the process ends as K4 goes
        p.CutPower(seed);
        Bridge again(p);
        again.TickUntilQuiet();
        EXPECT_TRUE(AllInOrder(CallsAtLogger(p), 1, {"K3", "K4", "K5"})) << "seed " << seed;
        EXPECT_TRUE(p.messages.empty()) << "seed " << seed << ": " << ::testing::PrintToString(p.messages);
        ExpectNothingLeft(p, again.courier);
    }
}

TEST(Courier, AFailingFileOperationAtAnyStepLosesNothing) {
    const int operations = DeliverUndisturbed(kFiveContacts).fileOperations;
    const FileStatus kinds[] = {FileStatus::kNotFound, FileStatus::kBusy, FileStatus::kDenied, FileStatus::kFull,
                                FileStatus::kFailed};
    for (int n = 1; n <= operations; ++n) {
        for (FileStatus kind : kinds) {
            FakePlatform p;
            p.AddWindow("DXbase", "");
            p.WriteFile(kLog, kFiveContacts);
            Bridge bridge(p);
            p.FailFileOperation(n, kind);
            bridge.TickUntilQuiet();
            const std::string what = "file operation " + std::to_string(n) + " of " + std::to_string(operations) +
                                     " failing as " + std::to_string(static_cast<int>(kind));
            EXPECT_TRUE(AllInOrder(CallsAtLogger(p), 1)) << what;
            EXPECT_TRUE(CopyHoldsAll(p, kFiveCopied)) << what;
            ExpectNothingLeft(p, bridge.courier, what);
            // Passing once, it is never told; one that will not pass by itself is told at once.
            if (kind == FileStatus::kDenied || kind == FileStatus::kFull) {
                EXPECT_LE(p.messages.size(), 1u) << what;
            } else {
                EXPECT_TRUE(p.messages.empty()) << what << ": " << ::testing::PrintToString(p.messages);
            }
        }
    }
}

TEST(Courier, AFailureIsToldOnceItLastsOrAtOnceWhenItCannotPass) {
    const struct {
        FileStatus kind;
        int ticks;  // the log cannot be taken at this many ticks in a row
        size_t told;
    } cases[] = {
        {FileStatus::kBusy, kLastingFailureTicks, 0},
        {FileStatus::kBusy, kLastingFailureTicks + 1, 1},
        {FileStatus::kBusy, kLastingFailureTicks + 4, 1},
        {FileStatus::kFailed, kLastingFailureTicks, 0},
        {FileStatus::kFailed, kLastingFailureTicks + 4, 1},
        {FileStatus::kDenied, 1, 1},
        {FileStatus::kFull, 3, 1},
    };
    for (const auto& c : cases) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        p.WriteFile(kLog, kFiveContacts);
        Bridge bridge(p);
        p.FailNext("move", kLog, c.kind, c.ticks);
        for (int tick = 0; tick < c.ticks; ++tick)
            bridge.Tick();
        EXPECT_TRUE(p.sent.empty());
        bridge.TickUntilQuiet();
        EXPECT_EQ(CallsAtLogger(p), kAllFive);
        EXPECT_EQ(p.messages.size(), c.told) << static_cast<int>(c.kind) << " for " << c.ticks << " ticks";
    }
    // Failures that each pass within the ticks allowed are never added up.
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    for (int round = 0; round < 3; ++round) {
        p.WriteFile(kLog, kFiveContacts);
        p.FailNext("move", kLog, FileStatus::kBusy, kLastingFailureTicks - 2);
        bridge.TickUntilQuiet(kLastingFailureTicks);
    }
    EXPECT_EQ(p.sent.size(), 15u);
    EXPECT_TRUE(p.messages.empty()) << ::testing::PrintToString(p.messages);
}

TEST(Courier, TheProgressGoesToTheDiskEvery100ContactsAndWheneverDeliveryPauses) {
    std::vector<std::string> contacts;
    for (int i = 0; i < 250; ++i)
        contacts.push_back("<call:5>K" + std::to_string(1000 + i));
    const struct {
        const char* what;
        size_t loggerLeavesAt;  // the send that finds the logger gone (0: never)
        std::vector<size_t> flushedAt;
        bool slow = false;  // the logger takes its time: a contact waits behind the one it holds
    } cases[] = {
        {"undisturbed: every 100, and the last", 0, {100, 200, 250}},
        {"the logger leaves after 130: the pause too, and 100 from there", 131, {100, 130, 230, 250}},
        {"a logger that takes its time: still every 100", 0, {100, 200, 250}, true},
    };
    for (const auto& c : cases) {
        FakePlatform p;
        WindowHandle logger = p.AddWindow("DXbase", "");
        Bridge bridge(p);
        p.WriteFile(kLog, DecoderLog(contacts));
        size_t sends = 0;
        p.beforeSend = [&] {
            if (++sends == c.loggerLeavesAt) p.RemoveWindow(logger);
        };
        Deliver(p, bridge, c.slow);
        p.AddWindow("DXbase", "");
        bridge.TickUntilQuiet();
        EXPECT_EQ(p.sent.size(), 250u) << c.what;
        EXPECT_EQ(p.flushedAt, c.flushedAt) << c.what;
    }
}

struct FailingProgressCase {
    const char* what;
    bool claimed;    // a claimed file with its progress, or a progress left without its file
    const char* op;  // the operation on the progress file that fails once
    std::vector<std::string> calls;
    size_t messages;
};

TEST(Courier, AProgressThatCannotBeReadOrDeletedHoldsDeliveryBack) {
    const FailingProgressCase cases[] = {
        {"its progress cannot be read", true, "read", {"K3", "K4", "K5"}, 1},
        {"a leftover progress cannot be read", false, "read", kAllFive, 2},
        {"a leftover progress cannot be deleted", false, "remove", kAllFive, 2},
    };
    for (const FailingProgressCase& c : cases) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        Bridge bridge(p);
        p.WriteFile(c.claimed ? bridge.courier.ClaimPath() : kLog, kFiveContacts);
        p.WriteFile(bridge.courier.ProgressPath(), EncodeProgressSlot(AfterK2()));
        p.FailNext(c.op, bridge.courier.ProgressPath(), FileStatus::kDenied);
        bridge.Tick();
        EXPECT_TRUE(p.sent.empty()) << c.what;
        bridge.TickUntilQuiet();
        EXPECT_EQ(CallsAtLogger(p), c.calls) << c.what;
        EXPECT_EQ(p.messages.size(), c.messages) << c.what << ": " << ::testing::PrintToString(p.messages);
        ExpectNothingLeft(p, bridge.courier, c.what);
    }
}

TEST(Courier, AFileWhoseLastRecordFailedLeavesNothingBehindForTheNext) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.WriteFile(kLog, kFiveContacts);
    // Once all five are with the logger, the record that says so cannot be written.
    p.afterRead = [&](const std::string&) {
        if (p.sent.size() == 5) p.FailNext("write", bridge.courier.ProgressPath(), FileStatus::kFailed);
    };
    bridge.TickUntilQuiet();
    ASSERT_EQ(CallsAtLogger(p), kAllFive);
    p.afterRead = nullptr;
    std::vector<std::string> eleven;
    for (int i = 0; i < 11; ++i)
        eleven.push_back("<call:3>N" + std::to_string(10 + i));
    p.WriteFile(kLog, DecoderLog(eleven));
    bridge.TickUntilQuiet();
    EXPECT_EQ(p.sent.size(), 16u);
    ExpectNothingLeft(p, bridge.courier);
}

TEST(Courier, ASecondBridgeDeliversNothingWhileTheFirstDoes) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.otherBridgeHoldsLocks = true;
    p.WriteFile(kLog, kFiveContacts);
    p.WriteFile(bridge.courier.ClaimPath(), DecoderLog({"<call:2>K0"}));
    bridge.Tick();
    EXPECT_TRUE(p.sent.empty());
    EXPECT_TRUE(p.CallsNamed("Open").empty() && p.CallsNamed("Move").empty())
        << "neither the claimed file nor the log is touched";
    // One started on the same log spelled in other letters' case takes the same lock.
    std::string lower = kLog;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    TestOperator op(p);
    Courier spelledOtherwise(p, p, p, op);
    spelledOtherwise.SetLogPath(lower);
    spelledOtherwise.Tick(p.FindWindowByClass("DXbase"));
    const std::vector<std::string> locks = p.CallsNamed("TryLock");
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(locks[0], locks[1]);

    p.otherBridgeHoldsLocks = false;  // the first one ended
    bridge.TickUntilQuiet();
    EXPECT_EQ(CallsAtLogger(p), (std::vector<std::string>{"K0", "K1", "K2", "K3", "K4", "K5"}));
}

TEST(Courier, ALoggerThatRefusesMessagesIsToldOfOnceAndGetsThemLater) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.refuseSends = true;
    p.WriteFile(kLog, kFiveContacts);
    bridge.Tick();
    bridge.Tick();
    EXPECT_TRUE(p.sent.empty());
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_NE(p.messages[0].find("administrator"), std::string::npos);
    p.refuseSends = false;  // DXbase started again, normally
    bridge.Tick();
    EXPECT_EQ(CallsAtLogger(p), kAllFive);
}

// With nothing in flight, however long since the last contact, DXbase is not said to hang.
TEST(Courier, AnIdleLoggerIsNeverSaidToHang) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.WriteFile(kLog, kFiveContacts);
    bridge.TickUntilQuiet();
    p.nowMs += 3 * kUnansweredNoticeMs;
    bridge.Tick();
    EXPECT_TRUE(p.messages.empty()) << p.messages.front();
    EXPECT_EQ(bridge.courier.Problem(), "");
}

// A log that cannot be opened for reading (another user's, a link to nowhere) is never claimed:
// it could not be read under its new name either.
TEST(Courier, ALogThatCannotBeReadIsNeverClaimed) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.disk.PutUnopenable(kLog);
    bridge.Tick();
    EXPECT_TRUE(p.CallsNamed("Move").empty());
    EXPECT_TRUE(p.Exists(kLog));
    EXPECT_TRUE(p.messages.empty());
}

TEST(Courier, ALoggerThatTakesItsTimeHoldsOneContactAndIsToldOfOnceAMinute) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.holdSends = true;
    p.WriteFile(kLog, kFiveContacts);
    bridge.Tick();
    ASSERT_EQ(CallsAtLogger(p), std::vector<std::string>{"K1"});
    for (int second = 1; second <= 80; ++second) {
        p.nowMs += 1000;
        bridge.Tick();
    }
    EXPECT_EQ(p.CallsNamed("CopyData").size(), 1u) << "no second send while one is in flight";
    ASSERT_EQ(p.messages.size(), 1u) << "told once, after a minute";
    EXPECT_NE(p.messages[0].find("DXbase"), std::string::npos);

    p.ReleaseSend();
    p.RunQueue();
    ASSERT_EQ(CallsAtLogger(p), (std::vector<std::string>{"K1", "K2"})) << "the next goes as soon as it answers";
    p.nowMs += 1000;
    bridge.Tick();
    EXPECT_EQ(p.messages.size(), 1u) << "the minute counts from when K2 went";
    p.nowMs += kUnansweredNoticeMs;
    bridge.Tick();
    EXPECT_EQ(p.messages.size(), 2u) << "told again when it stops answering again";

    p.holdSends = false;
    p.ReleaseSend();
    bridge.TickUntilQuiet();
    EXPECT_EQ(CallsAtLogger(p), kAllFive);
    ExpectNothingLeft(p, bridge.courier);
}

// With K2 in flight, the program or the Windows session ends (or the end is cancelled); what the
// next start delivers, and how often.
struct EndCase {
    const char* what;
    std::function<void(Bridge&, FakePlatform&)> whileHeld;
    int repeatsAllowed;
};

TEST(Courier, TheEndOfTheProgramOrSessionWithASendInFlightLosesNothing) {
    const EndCase cases[] = {
        {"query, the logger answers, the session ends",
         [](Bridge& b, FakePlatform& p) {
             b.courier.PauseForSessionEnd();
             p.ReleaseSend();
             p.RunQueue();
             EXPECT_EQ(p.sent.size(), 2u) << "no new send once the session may end";
             b.Tick();
             EXPECT_EQ(p.sent.size(), 2u);
             b.courier.Close(p.MonotonicMs() + kEndSessionWaitMs);
         },
         0},
        {"the session ends and the logger answers within the wait",
         [](Bridge& b, FakePlatform& p) { b.courier.Close(p.MonotonicMs() + kEndSessionWaitMs); }, 0},
        {"the session ends and the logger never answers",
         [](Bridge& b, FakePlatform& p) {
             p.loggerHangs = true;
             b.courier.Close(p.MonotonicMs() + kEndSessionWaitMs);
         },
         1},
        {"the program is closed",
         [](Bridge& b, FakePlatform& p) {
             b.courier.Close(p.MonotonicMs());  // with no time to wait
             p.ReleaseSend();                   // a late answer changes nothing
             p.RunQueue();
             b.Tick();
         },
         1},
        {"a cancelled end goes on delivering",
         [](Bridge& b, FakePlatform& p) {
             b.courier.PauseForSessionEnd();
             b.courier.ResumeAfterCancelledSessionEnd();
             p.holdSends = false;
             p.ReleaseSend();
             b.TickUntilQuiet();
             EXPECT_EQ(CallsAtLogger(p), kAllFive);
         },
         0},
    };
    for (const EndCase& c : cases) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        p.WriteFile(kLog, kFiveContacts);
        {
            Bridge bridge(p);
            p.holdSends = true;
            bridge.Tick();
            p.ReleaseSend();
            p.RunQueue();  // K1's answer, and K2 goes
            ASSERT_EQ(CallsAtLogger(p), (std::vector<std::string>{"K1", "K2"})) << c.what;
            c.whileHeld(bridge, p);
        }
        p.Restart();
        p.holdSends = false;
        Bridge next(p);
        next.TickUntilQuiet();
        EXPECT_TRUE(AllInOrder(CallsAtLogger(p), c.repeatsAllowed)) << c.what;
        ExpectNothingLeft(p, next.courier, c.what);
        EXPECT_TRUE(p.messages.empty()) << c.what << ": " << ::testing::PrintToString(p.messages);
    }
}

// A stray end-of-record tag (an export's, or one left by hand) holds no contact: DXbase never gets
// an empty record for it.
TEST(Courier, AStrayEndOfRecordTagSendsNothing) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    p.WriteFile(kLog, DecoderLog({"<call:2>K1"}) + "<EOR>\r\n <eor>\r\n<call:2>K2 <eor>\r\n<eor>\r\n");
    Bridge bridge(p);
    bridge.TickUntilQuiet();
    EXPECT_EQ(CallsAtLogger(p), (std::vector<std::string>{"K1", "K2"}));
    EXPECT_TRUE(p.messages.empty()) << ::testing::PrintToString(p.messages);
    ExpectNothingLeft(p, bridge.courier);
}

// A contact of hundreds of megabytes (a damaged or hostile file) goes to the logger, and whole into
// the copy, while the process may take only a few megabytes more than it had: the engine holds
// no contact whole, only the reader's buffer and a piece at a time.
TEST(Courier, AContactOfHundredsOfMegabytesTakesNoMoreMemoryThanASmallOne) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
#endif
    constexpr std::uint64_t kComment = 300ull << 20;
    const std::string head = "JTDX log\r\n<eoh>\r\n\r\n<call:6>DL1ABC <comment:" + std::to_string(kComment) + ">";
    const std::string end = " <eor>\r\n<call:6>DL2XYZ <eor>\r\n";
    const std::uint64_t size = head.size() + kComment + end.size();
    auto make = [&](std::uint64_t at, char* into, size_t n) {
        for (size_t i = 0; i < n; ++i, ++at) {
            into[i] = at < head.size()              ? head[static_cast<size_t>(at)]
                      : at < head.size() + kComment ? 'x'
                                                    : end[static_cast<size_t>(at - head.size() - kComment)];
        }
    };
    // The copy as it must end: each record from its first tag, on a line of its own, and the padding.
    const std::string header = kCopyHeader + CopyPadding(sizeof kCopyHeader - 1);
    const std::uint64_t first = head.size() + kComment + 6 - head.find('<', 12);
    std::uint32_t crc = 0;
    std::string piece(1 << 20, '\0');
    for (std::uint64_t at = head.find('<', 12); at < head.size() + kComment + 6;) {
        const size_t n = static_cast<size_t>(std::min<std::uint64_t>(piece.size(), head.size() + kComment + 6 - at));
        make(at, &piece[0], n);
        crc = Crc32(crc, std::string_view(piece.data(), n));
        at += n;
    }
    std::string rest = "\r\n<call:6>DL2XYZ <eor>\r\n";
    rest += CopyPadding(header.size() + first + rest.size());
    crc = Crc32(crc, rest);
    piece = std::string();

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        p.disk.PutMade(kLog, size, make);
        p.WriteFile(kCopy, header);
        p.disk.CountWritesAtTheEnd(kCopy);
        // What the process has mapped now, and 64 MiB more.
        long pages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (64u << 20);
        rlimit bound{limit, limit};
        if (pages == 0 || setrlimit(RLIMIT_AS, &bound) != 0) _exit(3);
        int failed = 0;
        try {
            Bridge bridge(p);
            bridge.TickUntilQuiet();
            failed |= CallsAtLogger(p) == std::vector<std::string>{"DL1ABC", "DL2XYZ"} ? 0 : 4;
            failed |= p.disk.CountedBytes(kCopy) == first + rest.size() && p.disk.CountedCrc(kCopy) == crc ? 0 : 8;
            failed |= p.messages.empty() && !p.Exists(bridge.courier.ClaimPath()) ? 0 : 16;
        } catch (const std::bad_alloc&) {
            failed |= 32;
        }
        _exit(failed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the engine died: status " << status;
    // 3: no limit could be set; 4: the logger did not get both; 8: the copy is not as it must be;
    // 16: a message, or the log left; 32: out of memory.
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A log with the read-only attribute (restored from a backup, copied off a CD): Windows renames it,
// opens it to read, and refuses to open it to write or to delete it. Its contacts are read as ever;
// that it cannot be flushed, nor removed afterwards, must not keep them from DXbase.
class ReadOnlyFilePlatform : public FakePlatform {
public:
    FileResult OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) override {
        if (path == readOnly && access == FileAccess::kReadWrite) {
            file = kNoFile;
            size = 0;
            return {FileStatus::kDenied, "Access is denied."};
        }
        return FakePlatform::OpenFile(path, access, file, size);
    }
    FileResult RemoveFile(const std::string& path) override {
        if (path == readOnly) return {FileStatus::kDenied, "Access is denied."};
        return FakePlatform::RemoveFile(path);
    }
    std::string readOnly;
};

TEST(Courier, AReadOnlyLogIsStillDelivered) {
    ReadOnlyFilePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.readOnly = bridge.courier.ClaimPath();  // the attribute goes with the file when it is renamed
    p.WriteFile(kLog, kFiveContacts);
    bridge.TickUntilQuiet();
    EXPECT_EQ(CallsAtLogger(p), kAllFive) << ::testing::PrintToString(p.messages);
    EXPECT_TRUE(CopyHoldsAll(p, kFiveCopied));
}

// The claimed log cannot be read for a while (a read error, a share gone for a moment) just as the
// sender copies a contact the logger took: what is told names the file that fails, not the copy,
// which is fine; and once it reads again every contact reaches the copy, once.
TEST(Courier, AClaimedLogThatCannotBeReadIsToldAsSuch) {
    FakePlatform p;
    p.AddWindow("DXbase", "");
    Bridge bridge(p);
    p.WriteFile(kLog, kFiveContacts);
    int sends = 0;
    p.beforeSend = [&] {
        if (++sends == 2) p.FailNext("read", bridge.courier.ClaimPath(), FileStatus::kFailed, 1000);
    };
    for (unsigned tick = 0; tick <= kLastingFailureTicks + 1; ++tick) {
        bridge.Tick();
        if (p.messages.empty()) continue;
        EXPECT_EQ(bridge.courier.Problem().find(kCopyFileName), std::string::npos) << bridge.courier.Problem();
    }
    ASSERT_FALSE(p.messages.empty());
    for (const std::string& message : p.messages)
        EXPECT_EQ(message.find(kCopy), std::string::npos) << message;
    p.beforeSend = nullptr;
    p.FailNext("read", bridge.courier.ClaimPath(), FileStatus::kFailed, 0);
    bridge.TickUntilQuiet();
    EXPECT_EQ(CallsAtLogger(p), kAllFive);
    const std::vector<std::string> lines = CopyLines(p);
    for (const std::string& record : kFiveCopied)
        EXPECT_EQ(std::count(lines.begin(), lines.end(), record), 1) << record;
}

}  // namespace
}  // namespace qsoferry::test
