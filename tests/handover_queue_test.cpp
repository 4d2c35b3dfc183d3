// The handover queue's rules, one at a time: turns between ports, what a failure and a drop end
// and what they leave alone, and one notice for results that pile up. The interleavings test
// runs the same queue under every order of the two threads' steps.
#include "relay/handover_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace qsoferry {
namespace {

Handover Contact(const std::string& call) {
    Handover handover;
    handover.bytes = call;
    return handover;
}

const HandoverResult kDelivered{SendResult::kDelivered, {}, {}};

// Picks up and ends (as `result`) what the sender may take, until it may take nothing; says which.
std::string SendAll(HandoverQueue& queue, const HandoverResult& result = kDelivered) {
    std::string sent;
    while (std::optional<Handover> next = queue.PickUp()) {
        sent += next->bytes;
        queue.Ended(result);
    }
    return sent;
}

std::string TakeAll(HandoverQueue& queue, size_t port) {
    std::string taken;
    while (std::optional<HandoverResult> result = queue.Take(port))
        taken += result->sent == SendResult::kDelivered ? (result->recorded.ok() ? "d" : "u") : "n";
    return taken;
}

// Port 0 has handed a and b over, port 1 c; a is in flight.
bool TwoPortsSendingA(HandoverQueue& queue) {
    queue.AddPort();
    queue.AddPort();
    queue.Add(0, Contact("a"));
    queue.Add(0, Contact("b"));
    queue.Add(1, Contact("c"));
    std::optional<Handover> picked = queue.PickUp();
    return picked && picked->bytes == "a";
}

TEST(HandoverQueue, PortsTakeTurnsAndAnEngineStillDeliveringIsWaitedFor) {
    HandoverQueue queue;
    for (int i = 0; i < 3; ++i)
        queue.AddPort();
    for (const char* call : {"a", "b"})
        queue.Add(0, Contact(call));
    queue.Add(1, Contact("c"));
    for (const char* call : {"d", "e"})
        queue.Add(2, Contact(call));
    EXPECT_EQ(SendAll(queue), "acdb") << "port 1's turn: its engine has not taken c back yet";
    queue.Done(1);
    EXPECT_EQ(SendAll(queue), "") << "done, but with a result to take";
    EXPECT_EQ(TakeAll(queue, 1), "d");
    EXPECT_EQ(SendAll(queue), "") << "nor said it is done";
    queue.Done(1);
    EXPECT_EQ(SendAll(queue), "e");
    queue.Add(1, Contact("f"));
    queue.Add(0, Contact("g"));
    EXPECT_EQ(SendAll(queue), "gf") << "after port 2, port 0";
}

TEST(HandoverQueue, AFailureEndsOnlyWhatWaitsBehindItOnItsOwnPort) {
    const HandoverResult failures[] = {
        {SendResult::kGone, {}, {}},
        {SendResult::kRefused, {}, {}},
        {SendResult::kDelivered, {FileStatus::kFull, "disk full"}, {}},
    };
    for (const HandoverResult& failure : failures) {
        HandoverQueue queue;
        ASSERT_TRUE(TwoPortsSendingA(queue));
        EXPECT_FALSE(queue.PickUp()) << "one in flight";
        queue.Ended(failure);
        EXPECT_EQ(queue.Take(0)->sent, failure.sent);
        queue.Add(0, Contact("x"));  // handed over before its engine heard of the failure
        EXPECT_EQ(SendAll(queue), "c") << "another port's contact goes";
        EXPECT_EQ(TakeAll(queue, 0), "nn");
        queue.Add(0, Contact("y"));  // all taken back: the engine starts again
        EXPECT_EQ(SendAll(queue), "y");
    }
}

TEST(HandoverQueue, ADropEndsOnlyItsOwnPortsWaitingAndOneNoticeServesAllThatPileUp) {
    HandoverQueue queue;
    ASSERT_TRUE(TwoPortsSendingA(queue));
    EXPECT_TRUE(queue.DropWaiting(1)) << "the first result to end tells the window";
    EXPECT_TRUE(queue.Sending(0));
    EXPECT_FALSE(queue.Ended(kDelivered)) << "told already, not asked since";
    EXPECT_EQ(queue.TakeNotice(), (std::vector<size_t>{0, 1}));
    EXPECT_EQ(TakeAll(queue, 1), "n");
    queue.Done(1);
    EXPECT_EQ(SendAll(queue), "b") << "port 0's own waiting contact was not dropped";
    EXPECT_EQ(TakeAll(queue, 0), "dd");
    queue.TakeNotice();
    queue.Add(0, Contact("d"));
    ASSERT_TRUE(queue.PickUp());
    EXPECT_FALSE(queue.DropWaiting(0)) << "nothing waits: the one in flight is not the window's to drop";
    EXPECT_TRUE(queue.Ended(kDelivered)) << "asked since: told again";
}

}  // namespace
}  // namespace qsoferry
