// The poll cycle: once a second, refresh the lamps, and when the decoder's log is there and the
// logger is running, take the log, read every contact in it, delete it and hand the contacts over.
//
// The log is taken by moving it to a private name beside it (the claim path). The move is atomic on
// one volume and fails while the decoder has the file open, so what is deleted is exactly what was
// read: a contact the decoder appends meanwhile goes into a new log, relayed at a later tick. A
// claimed file that is still there at a tick (a crash, a failed delete) is delivered first.
#include "relay/text.h"
#include "view/qsoferry_view.h"

namespace qsoferry {
namespace {

// Index of the first line of non-zero length, or lines.size() when there is none.
size_t FirstNonEmptyLine(const std::vector<std::string>& lines) {
    size_t i = 0;
    while (i < lines.size() && lines[i].empty())
        ++i;
    return i;
}

// Index of the line that ends the header starting at `first`, or lines.size() when none does. A
// first line that begins with "<" is a header of its own.
size_t HeaderEnd(const std::vector<std::string>& lines, size_t first) {
    if (lines[first][0] == '<') return first;
    size_t i = first;
    while (i < lines.size() && lines[i].find("<EOH>") == std::string::npos &&
           lines[i].find("<eoh>") == std::string::npos) {
        ++i;
    }
    return i;
}

class CycleGuard {
public:
    explicit CycleGuard(bool& inCycle) : m_inCycle(inCycle) { m_inCycle = true; }
    ~CycleGuard() { m_inCycle = false; }
    CycleGuard(const CycleGuard&) = delete;
    CycleGuard& operator=(const CycleGuard&) = delete;

private:
    bool& m_inCycle;
};

}  // namespace

void CQsoferryView::OnTimer(unsigned /*nIDEvent*/) {
    // A tick that falls due while a cycle runs (inside a drain, or while a message box is open) is
    // skipped, never nested: the file and the record serve one cycle at a time.
    if (m_bInCycle || m_bClosing) return;
    CycleGuard guard(m_bInCycle);

    WindowHandle logger = UpdateLamps();
    if (m_bClosing) return;

    // Until the start-up backup is made, the log holds history that must not reach the logger.
    if (m_bBackupPending) {
        PreserveLogOnce();
        if (m_bBackupPending || m_bClosing) return;
    }

    // Without a logger the log waits; the decoder keeps appending to it.
    if (logger == kNoWindow) return;

    if (!ReadLogFile()) return;
    for (const QsoSnapshot& qso : m_pending) {
        RestoreRecord(qso);
        SendRecord(logger);
    }
    m_pending.clear();
}

bool CQsoferryView::ReadLogFile() {
    m_pending.clear();
    if (!m_platform.CanOpenForReading(m_strClaimPath)) {
        if (!m_platform.CanOpenForReading(m_strLogPath)) return false;
        FileResult moved = m_platform.MoveFileNoReplace(m_strLogPath, m_strClaimPath);
        if (!moved.ok()) {
            // Busy: the decoder is writing it, maybe creating it this very moment. Next tick.
            ReportFileError("move", m_strLogPath, moved);
            return false;
        }
    }
    return ReadClaimedFile();
}

// Reads the claimed file whole (it is held only for that), parses every contact in it and deletes
// it. True when the contacts are ready in m_pending.
bool CQsoferryView::ReadClaimedFile() {
    std::string bytes;
    FileResult result = m_platform.ReadWholeFile(m_strClaimPath, bytes);
    if (!result.ok()) {
        ReportFileError("read", m_strClaimPath, result);
        return false;
    }
    std::vector<std::string> lines = text::SplitTextLines(bytes);
    size_t first = FirstNonEmptyLine(lines);
    if (first == lines.size()) {
        // An empty log stays where it was. Nothing is held open while the box waits; ticks
        // meanwhile are skipped.
        if (!m_platform.MoveFileNoReplace(m_strClaimPath, m_strLogPath).ok()) {
            m_platform.RemoveFile(m_strClaimPath);  // a new log took its place; this one held nothing
        }
        m_platform.ShowMessage(kSourceEmptyText);
        return false;
    }

    size_t headerEnd = HeaderEnd(lines, first);
    ResetRecord();
    ParseLines(lines, headerEnd + 1);
    if (m_bClosing) {
        m_pending.clear();  // the claimed file stays and is delivered at the next start
        return false;
    }
    // Fields after the last end-of-record tag form a contact too; a file that gave nothing at all
    // still sends one empty record.
    if (!RecordIsEmpty() || m_pending.empty()) m_pending.push_back(TakeRecord());

    result = m_platform.RemoveFile(m_strClaimPath);
    if (!result.ok()) {
        // Delivered only once it can be deleted, so the logger never gets it twice.
        ReportFileError("delete", m_strClaimPath, result);
        m_pending.clear();
        return false;
    }
    m_strLastReport.clear();
    return true;
}

void CQsoferryView::ParseLines(const std::vector<std::string>& lines, size_t firstDataLine) {
    for (size_t i = firstDataLine; i < lines.size(); ++i) {
        DrainMessageQueue();
        if (m_bClosing) return;

        std::string line = text::TrimLeft(lines[i]);
        if (line.empty()) continue;
        line = text::TrimRight(line);
        if (line.find('*') != std::string::npos) return;  // the rest of the file is dropped

        size_t pos = 0;
        while (pos < line.size()) {
            if (line[pos] == '<') ++pos;
            size_t next = line.find('<', pos);
            if (next == std::string::npos) next = line.size();
            if (ParseField(line.substr(pos, next - pos)) == 1) {
                // Each end-of-record tag closes one contact; the next starts from an empty record.
                FinishRecord();
                m_pending.push_back(TakeRecord());
                ResetRecord();
            }
            pos = next;
        }
    }
}

int CQsoferryView::ParseField(std::string piece) {
    piece = text::TrimRight(piece);
    std::string name = text::ToUpper(piece.substr(0, piece.find(':')));
    if (name == "EOR>") return 1;
    size_t gt = piece.find('>');
    StoreField(name, gt == std::string::npos ? std::string() : piece.substr(gt + 1));
    return 0;
}

void CQsoferryView::ReportOnce(const std::string& message) {
    if (message == m_strLastReport) return;
    m_strLastReport = message;
    m_platform.ShowMessage(message);
}

void CQsoferryView::ReportFileError(const std::string& action, const std::string& path, const FileResult& result) {
    // A file that vanished is nobody's fault, and a sharing conflict with the decoder is expected:
    // both are simply tried again at the next tick.
    if (result.status == FileStatus::kNotFound || result.status == FileStatus::kBusy) return;
    ReportOnce("Cannot " + action + " " + path + ": " + result.reason);
}

}  // namespace qsoferry
