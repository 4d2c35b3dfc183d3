// Where the decoder's log lives, and the start-up backup that keeps the history already in it from
// being relayed as new contacts.
#include "view/qsoferry_view.h"

namespace qsoferry {
namespace {

// Fixed text: on Windows 7 to 11 the system's compatibility junctions lead from here to the
// user's local application data when the profile folder is named after the user.
constexpr const char kProfileRoot[] = "C:\\Documents and Settings\\";
constexpr const char kLogTail[] = "\\Local Settings\\Application Data\\JTDX\\wsjtx_log.adi";
constexpr const char kBackupTail[] = "\\Local Settings\\Application Data\\JTDX\\wsjtx_log_bak.adi";

}  // namespace

void CQsoferryView::DeriveLogPaths() {
    std::optional<std::string> user = m_platform.UserName();
    m_bHaveUserName = user.has_value();
    const std::string name = user.value_or("");
    SetLogPath(kProfileRoot + name + kLogTail);
    m_strBackupPath = kProfileRoot + name + kBackupTail;
}

void CQsoferryView::PreserveLogOnce() {
    m_bBackupPending = false;
    if (!m_bHaveUserName) return;  // paths without a user lead nowhere; rename nothing
    bool log = m_platform.CanOpenForReading(m_strLogPath);
    if (m_platform.CanOpenForReading(m_strBackupPath)) return;
    if (!log) {
        // No history to keep. An empty backup says it was looked for: a log found at a later start
        // holds contacts logged while the bridge was down, and is relayed rather than set aside.
        // Only where the log is surely not there (a log that is there but cannot be read may be
        // history), and only in a folder that exists.
        FileHandle file = kNoFile;
        std::uint64_t size = 0;
        FileResult probe = m_platform.OpenFile(m_strLogPath, FileAccess::kRead, file, size);
        m_platform.CloseFile(file);
        if (probe.status != FileStatus::kNotFound) return;
        if (m_platform.OpenFile(m_strBackupPath, FileAccess::kReadWrite, file, size).ok()) m_platform.CloseFile(file);
        return;
    }

    FileResult result = m_platform.MoveFileNoReplace(m_strLogPath, m_strBackupPath);
    if (result.ok() || result.status == FileStatus::kNotFound) return;
    // The log keeps its history until the move succeeds; the poll cycle retries it every tick and
    // relays nothing before.
    m_bBackupPending = true;
    ReportOnce("Cannot move " + m_strLogPath + " to " + m_strBackupPath + ": " + result.reason);
}

}  // namespace qsoferry
