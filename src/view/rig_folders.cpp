// The folders a JTDX started with a rig name (-r, --rig-name) writes to: "JTDX - <rig>" beside
// JTDX's own folder in the local application data. Each is relayed by an engine of its own, under
// the rules of JTDX's own folder: its start-up backup, claimed file, progress and delivery lock.
#include "view/qsoferry_view.h"

#include "relay/log_reader.h"

namespace qsoferry {

// One listing of the folder that holds them, where the system says local application data lives.
// Never through C:\Documents and Settings: on Vista and later that path runs through compatibility
// junctions that refuse listing to everyone, although a file opened by its full name through them
// is found.
void CQsoferryView::FindRigFolders() {
    if (m_strRigParent.empty()) return;
    for (const std::string& name : m_platform.ListFolders(m_strRigParent, kRigFolderPrefix)) {
        if (name.size() <= sizeof kRigFolderPrefix - 1) continue;
        const std::string folder = m_strRigParent + "\\" + name + "\\";
        bool known = false;
        for (const auto& f : m_folders)
            known = known || f->logPath == folder + kLogFileName;
        if (known) continue;
        m_folders.push_back(NewFolder());
        Folder& rig = *m_folders.back();
        rig.logPath = folder + kLogFileName;
        rig.backupPath = folder + kBackupFileName;
        rig.courier->SetLogPath(rig.logPath);
        rig.courier->SetCopyPath(folder + kCopyFileName);
        PreserveFolderLog(rig);
    }
}

std::unique_ptr<CQsoferryView::Folder> CQsoferryView::NewFolder() {
    auto folder = std::make_unique<Folder>();
    Operator& op = *this;  // a private base: converted here, where it is accessible
    folder->courier = std::make_unique<Courier>(m_platform, m_platform, m_platform, op);
    return folder;
}

// A folder seen for the first time is treated as JTDX's own at the first start: a log already in
// it is history, set aside and not relayed. Unlike the first start, this can happen at any time,
// so the operator is told what was set aside and where. Until it is set aside, nothing is relayed.
void CQsoferryView::PreserveFolderLog(Folder& folder) {
    HistoryAside aside = SetHistoryAside(folder.logPath, folder.backupPath);
    folder.historyPending = aside == HistoryAside::kPending || aside == HistoryAside::kNoFolder;
    if (aside == HistoryAside::kNoFolder) folder.tellHistory = true;  // what it holds once there is news
    if (aside != HistoryAside::kMoved || !folder.tellHistory) return;
    std::uint64_t count = CountContacts(m_platform, folder.backupPath).value_or(0);
    Tell(std::to_string(count) + (count == 1 ? " contact" : " contacts") + " logged before Qsoferry first saw " +
         folder.logPath + (count == 1 ? " was" : " were") + " set aside in " + folder.backupPath +
         " and not sent to DXbase.");
}

}  // namespace qsoferry
