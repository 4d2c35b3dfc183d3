#include "relay/shared_logger.h"

#include "relay/courier.h"

namespace qsoferry {

class SharedLogger::Port final : public LoggerLink {
public:
    Port(SharedLogger& owner, size_t index) : m_owner(owner), m_index(index) {}

    void BeginSend(const Handover& handover) override {
        m_entries.push_back({handover, State::kWaiting, {}});
        m_owner.Forward();
    }
    std::optional<HandoverResult> TakeResult() override {
        if (m_entries.empty() || m_entries.front().state != State::kEnded) return std::nullopt;
        HandoverResult result = m_entries.front().result;
        m_entries.pop_front();
        if (m_entries.empty()) m_failed = false;  // the engine has seen it all: what it sends now goes
        return result;
    }
    void DropWaiting() override {
        for (Entry& entry : m_entries) {
            if (entry.state == State::kWaiting) End(entry, SendResult::kNotSent);
        }
        // The link's waiting contact is dropped only when it is this port's: another port's goes on.
        if (m_owner.m_inLink.size() > 1 && m_owner.m_inLink.back() == m_index) m_owner.m_link.DropWaiting();
    }
    bool AwaitResult(unsigned ms) override {
        while (!HasResult() && InLink()) {
            if (!m_owner.m_link.AwaitResult(ms)) return false;
            m_owner.Collect();
        }
        return HasResult();
    }

    // The oldest of this port's contacts in the link has ended.
    void Ended(const HandoverResult& result) {
        for (Entry& entry : m_entries) {
            if (entry.state == State::kInLink) {
                entry.state = State::kEnded;
                entry.result = result;
                if (!Succeeded(result)) m_failed = true;
                return;
            }
        }
    }
    // The next contact that may go to the link, if any; one whose predecessor failed ends here.
    const Handover* Next() {
        for (Entry& entry : m_entries) {
            if (entry.state != State::kWaiting) continue;
            if (m_failed) {
                End(entry, SendResult::kNotSent);
                continue;
            }
            entry.state = State::kInLink;
            return &entry.handover;
        }
        return nullptr;
    }
    bool HasResult() const { return !m_entries.empty() && m_entries.front().state == State::kEnded; }
    // Its engine is delivering: it has handed contacts over and not taken all their results back.
    bool Active() const { return !m_entries.empty(); }

private:
    enum class State { kWaiting, kInLink, kEnded };
    struct Entry {
        Handover handover;
        State state;
        HandoverResult result;
    };
    static bool Succeeded(const HandoverResult& result) {
        return result.sent == SendResult::kDelivered && result.recorded.ok();
    }
    void End(Entry& entry, SendResult sent) {
        entry.state = State::kEnded;
        entry.result = HandoverResult{sent, {}};
        m_failed = m_failed || sent != SendResult::kDelivered;
    }
    bool InLink() const {
        for (const Entry& entry : m_entries) {
            if (entry.state == State::kInLink) return true;
        }
        return false;
    }

    SharedLogger& m_owner;
    size_t m_index;
    std::deque<Entry> m_entries;  // every contact handed over and not yet taken back, in order
    bool m_failed = false;        // one of them was not delivered: the rest behind it does not go
    friend class SharedLogger;
};

SharedLogger::SharedLogger(LoggerLink& link) : m_link(link) {}
SharedLogger::~SharedLogger() = default;

LoggerLink& SharedLogger::AddPort() {
    m_ports.push_back(std::make_unique<Port>(*this, m_ports.size()));
    return *m_ports.back();
}

std::vector<size_t> SharedLogger::Collect() {
    std::vector<size_t> ended;
    while (std::optional<HandoverResult> result = m_link.TakeResult()) {
        if (m_inLink.empty()) break;  // cannot happen: every result is of a contact the link took
        size_t port = m_inLink.front();
        m_inLink.pop_front();
        m_ports[port]->Ended(*result);
        if (ended.empty() || ended.back() != port) ended.push_back(port);
    }
    // A port whose waiting contacts ended without going (after a failure) has results too.
    Forward();
    for (size_t i = 0; i < m_ports.size(); ++i) {
        bool listed = false;
        for (size_t port : ended)
            listed = listed || port == i;
        if (!listed && m_ports[i]->HasResult()) ended.push_back(i);
    }
    return ended;
}

// Fills the link up to its two places, the ports taking turns. A port whose turn it is and whose
// engine is delivering keeps its turn until that engine hands the next contact over or is done:
// so no port gets two turns in a row while another still has contacts to give.
void SharedLogger::Forward() {
    while (m_inLink.size() < kOutstandingHandovers && !m_ports.empty()) {
        const Handover* next = nullptr;
        size_t port = 0;
        for (size_t k = 0; k < m_ports.size() && !next; ++k) {
            port = (m_nextPort + k) % m_ports.size();
            next = m_ports[port]->Next();
            if (!next && m_ports[port]->Active()) return;  // its turn: it is waited for
        }
        if (!next) return;
        m_nextPort = (port + 1) % m_ports.size();
        m_inLink.push_back(port);
        m_link.BeginSend(*next);
    }
}

}  // namespace qsoferry
