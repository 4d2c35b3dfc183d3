#include "relay/handover_queue.h"

namespace qsoferry {

size_t HandoverQueue::AddPort() {
    m_ports.emplace_back();
    return m_ports.size() - 1;
}

bool HandoverQueue::Add(size_t port, const Handover& handover) {
    Port& p = m_ports[port];
    p.delivering = true;
    p.entries.push_back({handover, State::kWaiting, {}});
    if (!p.failed) return false;
    return End(port, p.entries.back(), {SendResult::kNotSent, {}, {}});
}

bool HandoverQueue::DropWaiting(size_t port) {
    bool tell = false;
    for (Entry& entry : m_ports[port].entries) {
        if (entry.state == State::kWaiting) tell = End(port, entry, {SendResult::kNotSent, {}, {}}) || tell;
    }
    return tell;
}

void HandoverQueue::Done(size_t port) {
    if (m_ports[port].entries.empty()) m_ports[port].delivering = false;
}

std::optional<HandoverResult> HandoverQueue::Take(size_t port) {
    Port& p = m_ports[port];
    if (p.entries.empty() || p.entries.front().state != State::kEnded) return std::nullopt;
    HandoverResult result = p.entries.front().result;
    p.entries.pop_front();
    if (p.entries.empty()) p.failed = false;  // its engine has seen it all: what it adds now goes
    return result;
}

std::vector<size_t> HandoverQueue::TakeNotice() {
    m_noticed = false;
    std::vector<size_t> ports;
    for (size_t i = 0; i < m_ports.size(); ++i) {
        if (!m_ports[i].entries.empty() && m_ports[i].entries.front().state == State::kEnded) ports.push_back(i);
    }
    return ports;
}

std::optional<size_t> HandoverQueue::NextPort() const {
    if (m_sending) return std::nullopt;
    for (size_t k = 0; k < m_ports.size(); ++k) {
        const size_t port = (m_turn + k) % m_ports.size();
        for (const Entry& entry : m_ports[port].entries) {
            if (entry.state == State::kWaiting) return port;
        }
        if (m_ports[port].delivering) return std::nullopt;  // its turn: its engine is waited for
    }
    return std::nullopt;
}

std::optional<Handover> HandoverQueue::PickUp() {
    std::optional<size_t> port = NextPort();
    if (!port) return std::nullopt;
    for (Entry& entry : m_ports[*port].entries) {
        if (entry.state != State::kWaiting) continue;
        entry.state = State::kSending;
        m_sending = true;
        m_sendingPort = *port;
        m_turn = (*port + 1) % m_ports.size();
        return entry.handover;
    }
    return std::nullopt;  // cannot happen: NextPort found one waiting
}

bool HandoverQueue::Ended(const HandoverResult& result) {
    if (!m_sending) return false;  // cannot happen: the sender ends only what it picked up
    m_sending = false;
    Port& p = m_ports[m_sendingPort];
    for (Entry& entry : p.entries) {
        if (entry.state == State::kSending) return End(m_sendingPort, entry, result);
    }
    return false;
}

bool HandoverQueue::End(size_t port, Entry& entry, const HandoverResult& result) {
    entry.state = State::kEnded;
    entry.result = result;
    if (!Succeeded(result)) {
        // Nothing of this port behind it goes; another port's goes on.
        m_ports[port].failed = true;
        for (Entry& behind : m_ports[port].entries) {
            if (behind.state == State::kWaiting) {
                behind.state = State::kEnded;
                behind.result = {SendResult::kNotSent, {}, {}};
            }
        }
    }
    return Notice();
}

bool HandoverQueue::Notice() {
    if (m_noticed) return false;
    m_noticed = true;
    return true;
}

}  // namespace qsoferry
