// A log sent on purpose: the operator picks an ADIF file (the history set aside at the first start,
// contacts DXbase lost, another program's export), and its contacts go to DXbase under the same
// rules as the decoder's. The file itself is never changed: a private copy of it is made, durably,
// in a folder of Qsoferry's own, and relayed from there by an engine of its own, which takes turns
// with the folders' engines at the logger. Its contacts are not added to any copy of contacts sent.
// A copy left there when the bridge ended is relayed at the next start.
#include "view/qsoferry_view.h"

namespace qsoferry {

// The folder of Qsoferry's own, in the local application data; none when the system names none.
void CQsoferryView::AddSendingFolder() {
    if (m_strRigParent.empty()) return;
    const std::string own = m_strRigParent + "\\" + kOwnFolderName;
    const std::string folder = own + "\\" + kSendingFolderName;
    for (const auto& f : m_folders) {
        if (f->sending) return;  // the initial update runs again after New and Open
    }
    m_folders.push_back(NewFolder());
    Folder& sending = *m_folders.back();
    sending.sending = true;
    sending.logPath = folder + "\\" + kLogFileName;
    sending.courier->SetLogPath(sending.logPath);
    m_strSendingFolder = folder;
    m_strSendingOwnFolder = own;
    // A copy the bridge was making, or had made but not yet named, when it ended: the operator's
    // request was not carried out, and is told so rather than dropped.
    if (m_platform.CanOpenForReading(sending.logPath + ".part")) {
        Tell("A log that was being sent to DXbase when Qsoferry ended was not sent: its copy " + sending.logPath +
             ".part may be incomplete. Send the log again with File, Send a Log to DXbase.");
    }
}

void CQsoferryView::OnSendLog() {
    // Its dialogs are modal: never opened from a drain inside a cycle, where the ticks would stop
    // while they are open. Asked there, it opens once the cycle has ended.
    if (m_bInCycle) {
        RunAfterCycle([this] { OnSendLog(); });
        return;
    }
    Folder* sending = nullptr;
    for (const auto& f : m_folders) {
        if (f->sending) sending = f.get();
    }
    if (!sending) {
        Tell("Qsoferry cannot send a log: Windows names no local application data folder for it.");
        return;
    }
    const Courier& courier = *sending->courier;
    auto underWay = [&] {
        return m_platform.CanOpenForReading(courier.LogPath()) || m_platform.CanOpenForReading(courier.ClaimPath());
    };
    if (underWay()) {
        Tell(kSendingBusyText);
        return;
    }
    std::optional<std::string> path = m_platform.ChooseLogFile();
    if (!path) return;
    // A folder's own log, or its claimed file, is relayed by its engine already: sent again, each of
    // its waiting contacts would reach DXbase twice.
    for (size_t i = 0; i < m_folders.size(); ++i) {
        const Courier& own = *m_folders[i]->courier;
        if (!m_folders[i]->sending &&
            (m_platform.SameFile(*path, own.LogPath()) || m_platform.SameFile(*path, own.ClaimPath()))) {
            Tell(*path +
                 " is the log JTDX writes now: Qsoferry sends its contacts to DXbase by itself. "
                 "Choose another file.");
            return;
        }
    }
    std::optional<std::uint64_t> count = CountContacts(m_platform, *path);
    if (!count) {
        Tell("Cannot open " + *path + ".");
        return;
    }
    if (*count == 0) {
        Tell(kSourceEmptyText);
        return;
    }
    const std::string question = *path + " holds " + std::to_string(*count) + (*count == 1 ? " contact" : " contacts") +
                                 ". Send " + (*count == 1 ? "it" : "them") +
                                 " to DXbase? Contacts DXbase has already are sent again.";
    if (!m_platform.AskYesNo(question)) return;
    if (underWay()) {  // another bridge of this user's may have begun one meanwhile
        Tell(kSendingBusyText);
        return;
    }
    std::string failure = CopyForSending(*path, courier.LogPath());
    if (!failure.empty()) Tell(failure);
}

// Copies the file whole to a name of its own beside `to`, puts it on the disk, and only then gives
// it the log's name, durably: the engine never sees half a copy, and once this returns a power cut
// leaves all of it under that name.
// Empty on success; what went wrong otherwise.
std::string CQsoferryView::CopyForSending(const std::string& from, const std::string& to) {
    m_platform.MakeFolder(m_strSendingOwnFolder);
    if (!m_platform.MakeFolder(m_strSendingFolder)) return "Cannot make the folder " + m_strSendingFolder + ".";
    const std::string part = to + ".part";
    m_platform.RemoveFile(part);  // a copy an earlier start did not finish
    FileHandle source = kNoFile, target = kNoFile;
    std::uint64_t size = 0, ignored = 0;
    FileResult result = m_platform.OpenFile(from, FileAccess::kPeek, source, size);
    if (!result.ok()) return "Cannot open " + from + ": " + result.reason;
    result = m_platform.OpenFile(part, FileAccess::kReadWrite, target, ignored);
    std::string chunk(64 * 1024, '\0');
    for (std::uint64_t at = 0; result.ok();) {
        size_t got = 0;
        result = m_platform.ReadFileAt(source, at, chunk.data(), chunk.size(), got);
        if (!result.ok()) break;
        result = m_platform.WriteFileAt(target, at, chunk.substr(0, got), got == 0);  // flushed at the end
        if (got == 0) break;
        at += got;
    }
    m_platform.CloseFile(source);
    m_platform.CloseFile(target);
    if (result.ok()) result = m_platform.MoveFileNoReplace(part, to, true);
    if (result.ok()) return {};
    m_platform.RemoveFile(part);
    return "Cannot copy " + from + " to send it: " + result.reason;
}

}  // namespace qsoferry
