// Where the decoder's log lives, and the start-up backup that keeps the history already in it from
// being relayed as new contacts.
#include "view/qsoferry_view.h"

namespace qsoferry {
namespace {

// On Windows 7 to 11 the system's compatibility junctions lead from here to the user's local
// application data, but only when the profile folder carries the logon name and Windows is on C:.
constexpr const char kProfileRoot[] = "C:\\Documents and Settings\\";
constexpr const char kDecoderTail[] = "\\Local Settings\\Application Data\\JTDX";
constexpr const char kDecoderFolder[] = "\\JTDX";

}  // namespace

void CQsoferryView::DeriveLogPaths() {
    std::optional<std::string> user = m_platform.UserName();
    m_bPathsKnown = user.has_value();
    std::string folder = kProfileRoot + user.value_or("") + kDecoderTail;
    // Where the derived folder does not exist (a renamed account, a domain profile, Windows on
    // another drive), JTDX's folder is where the system says local application data lives. A
    // station where the derived path works keeps it.
    std::optional<std::string> local = m_platform.LocalAppDataFolder();
    if (!m_platform.FolderExists(folder) && local) {
        folder = *local + kDecoderFolder;
        m_bPathsKnown = true;
    }
    m_strLogPath = folder + "\\" + kLogFileName;
    m_strBackupPath = folder + "\\" + kBackupFileName;
    Folder& own = *m_folders.front();
    own.logPath = m_strLogPath;
    own.backupPath = m_strBackupPath;
    own.courier->SetLogPath(m_strLogPath);
    own.courier->SetCopyPath(folder + "\\" + kCopyFileName);
    // Rig folders lie beside JTDX's own, in the local application data as the system names it.
    m_strRigParent = local.value_or("");
}

// JTDX's own folder at start-up: a log found here is history, set aside without a word (the
// first start). A folder that is not there yet is looked for at every tick, as rig folders are.
void CQsoferryView::PreserveLogOnce() {
    Folder& own = *m_folders.front();
    own.historyPending = false;
    own.tellHistory = false;
    if (!m_bPathsKnown) return;  // paths without a user or a folder lead nowhere; rename nothing
    PreserveFolderLog(own);
}

CQsoferryView::HistoryAside CQsoferryView::SetHistoryAside(const std::string& logPath, const std::string& backupPath) {
    bool log = m_platform.CanOpenForReading(logPath);
    if (m_platform.CanOpenForReading(backupPath)) return HistoryAside::kNone;
    if (!log) {
        // No history to keep. An empty backup says it was looked for: a log found at a later start
        // holds contacts logged while the bridge was down, and is relayed rather than set aside.
        // Only where the log is surely not there (a log that is there but cannot be read may be
        // history), and only in a folder that exists.
        FileHandle file = kNoFile;
        std::uint64_t size = 0;
        FileResult probe = m_platform.OpenFile(logPath, FileAccess::kRead, file, size);
        m_platform.CloseFile(file);
        if (probe.status != FileStatus::kNotFound) return HistoryAside::kNone;
        FileResult made = m_platform.OpenFile(backupPath, FileAccess::kReadWrite, file, size);
        if (made.ok()) m_platform.CloseFile(file);
        // No folder yet (JTDX has never run): a log that appears in it later may hold history
        // again, or contacts logged while this bridge ran; it is looked at when the folder is there.
        return made.status == FileStatus::kNotFound ? HistoryAside::kNoFolder : HistoryAside::kNone;
    }

    FileResult result = m_platform.MoveFileNoReplace(logPath, backupPath, false);
    if (result.ok()) return HistoryAside::kMoved;
    if (result.status == FileStatus::kNotFound) return HistoryAside::kNone;
    // The log keeps its history until the move succeeds; the poll cycle retries it every tick and
    // relays nothing before.
    ReportOnce("Cannot move " + logPath + " to " + backupPath + ": " + result.reason);
    return HistoryAside::kPending;
}

}  // namespace qsoferry
