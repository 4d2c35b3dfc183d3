// A log sent on purpose: the operator picks an ADIF file (the history set aside at the first start,
// contacts DXbase lost, another program's export), and its contacts go to DXbase under the same
// rules as the decoder's. The file itself is never changed: a private copy of it is made, durably,
// in a folder of Qsoferry's own, and relayed from there by an engine of its own, which takes turns
// with the folders' engines at the logger. That engine keeps a copy of its own of what the logger
// took, in its folder, under the folders' promises. A copy left there when the bridge ended is
// relayed at the next start. Contacts chosen in the Relayed Contacts window go the same way.
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
    sending.courier->SetCopyPath(folder + "\\" + kCopyFileName);
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
    const Courier* courier = SendingCourier();
    if (!courier) return;
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
    // What DXbase took before: the copies, read once, and each contact of the file looked up in them.
    RelayedList relayed(m_platform);
    relayed.Refresh(CopySources());
    std::string why;
    std::optional<LogSurvey> survey = SurveyLog(
        m_platform, *path, [&relayed](std::uint64_t key) { return relayed.TimesHeld(key); }, why);
    if (!survey) {
        Tell(why);
        return;
    }
    if (survey->contacts == 0) {
        Tell(kSourceEmptyText);
        return;
    }
    std::optional<bool> whole = AskWhatToSend(*path, *survey);
    if (!whole || !SendingCourier()) return;  // another bridge of this user's may have begun one meanwhile
    std::string failure = CopyForSending(*path, courier->LogPath(), *whole ? nullptr : &*survey);
    if (!failure.empty()) Tell(failure);
}

std::optional<bool> CQsoferryView::AskWhatToSend(const std::string& path, const LogSurvey& survey) {
    const std::uint64_t count = survey.contacts, taken = survey.taken, fresh = count - taken;
    auto contacts = [](std::uint64_t n) { return std::to_string(n) + (n == 1 ? " contact" : " contacts"); };
    if (taken == 0) {
        const std::string question = path + " holds " + contacts(count) + ". Send " + (count == 1 ? "it" : "them") +
                                     " to DXbase? Contacts DXbase has already are sent again.";
        if (m_platform.AskYesNo(question)) return true;
        return std::nullopt;
    }
    const std::string name = path.substr(path.find_last_of("\\/") + 1);
    const std::string when = (taken == 1 ? " (on " : " (the last on ") + survey.lastTaken + ")";
    if (fresh == 0) {
        const std::string question = name + " holds " + contacts(count) + "; DXbase already took " +
                                     (count == 1 ? "it" : "all of them") + when + ". Send " +
                                     (count == 1 ? "it" : "them") + " again?";
        const std::string again = count == 1 ? "Send it again" : "Send all " + std::to_string(count) + " again";
        if (m_platform.Choose(question, {again, "Send none"}, 1) == 0) return true;
        return std::nullopt;
    }
    const std::string question = name + " holds " + contacts(count) + "; DXbase already took " + std::to_string(taken) +
                                 " of them" + when + ". Send only the " +
                                 (fresh == 1 ? "new one?" : std::to_string(fresh) + " new ones?");
    const std::string onlyNew = fresh == 1 ? "Send the new one" : "Send the " + std::to_string(fresh) + " new ones";
    switch (m_platform.Choose(question, {onlyNew, "Send all " + std::to_string(count), "Send none"}, 0)) {
        case 0:
            return false;
        case 1:
            return true;
        default:
            return std::nullopt;
    }
}

void CQsoferryView::OnSendAgain(const std::string& records, size_t count) {
    if (m_bInCycle) {
        RunAfterCycle([this, records, count] { OnSendAgain(records, count); });
        return;
    }
    const Courier* courier = SendingCourier();
    if (!courier || count == 0) return;
    const std::string question = count == 1 ? std::string("Send this contact to DXbase again?")
                                            : "Send these " + std::to_string(count) + " contacts to DXbase again?";
    if (!m_platform.AskYesNo(question) || !SendingCourier()) return;
    std::string failure = PutForSending(courier->LogPath(), [&](FileHandle target) {
        return m_platform.WriteFileAt(target, 0, records, false);  // flushed before it is named
    });
    if (!failure.empty()) Tell("Cannot send the contacts again: " + failure);
}

// The engine that sends logs on purpose, when it is free to take one; otherwise the operator has
// been told why not.
const Courier* CQsoferryView::SendingCourier() {
    const Courier* courier = nullptr;
    for (const auto& f : m_folders) {
        if (f->sending) courier = f->courier.get();
    }
    if (!courier) {
        Tell("Qsoferry cannot send a log: Windows names no local application data folder for it.");
        return nullptr;
    }
    if (m_platform.CanOpenForReading(courier->LogPath()) || m_platform.CanOpenForReading(courier->ClaimPath())) {
        Tell(kSendingBusyText);
        return nullptr;
    }
    return courier;
}

std::vector<CopySource> CQsoferryView::CopySources() const {
    std::vector<CopySource> sources;
    for (size_t i = 0; i < m_folders.size(); ++i) {
        const Folder& f = *m_folders[i];
        const std::string& copy = f.courier->CopyPath();
        if (copy.empty()) continue;
        const std::string folder = copy.substr(0, copy.find_last_of('\\'));
        std::string label = f.sending ? "Sent on purpose" : "JTDX";
        if (i > 0 && !f.sending) label = folder.substr(folder.find_last_of('\\') + 1 + sizeof kRigFolderPrefix - 1);
        sources.push_back({copy, folder, label});
    }
    return sources;
}

// Copies the file to send it: whole, or only the header and the contacts a survey found fresh.
// Empty on success; what went wrong otherwise.
std::string CQsoferryView::CopyForSending(const std::string& from, const std::string& to, const LogSurvey* fresh) {
    if (fresh) {
        std::string failure =
            PutForSending(to, [&](FileHandle target) { return WriteFreshContacts(m_platform, from, *fresh, target); });
        return failure.empty() ? failure : "Cannot copy " + from + " to send it: " + failure;
    }
    FileHandle source = kNoFile;
    std::uint64_t size = 0;
    FileResult opened = m_platform.OpenFile(from, FileAccess::kPeek, source, size);
    if (!opened.ok()) return "Cannot open " + from + ": " + opened.reason;
    std::string failure = PutForSending(to, [&](FileHandle target) {
        std::string chunk(64 * 1024, '\0');
        for (std::uint64_t at = 0;;) {
            size_t got = 0;
            FileResult result = m_platform.ReadFileAt(source, at, chunk.data(), chunk.size(), got);
            if (!result.ok() || got == 0) return result;
            result = m_platform.WriteFileAt(target, at, chunk.substr(0, got), false);
            if (!result.ok()) return result;
            at += got;
        }
    });
    m_platform.CloseFile(source);
    return failure.empty() ? failure : "Cannot copy " + from + " to send it: " + failure;
}

// Writes what is to be sent (`fill`) to a name of its own beside `to`, puts it on the disk, and only
// then gives it the log's name, durably: the engine never sees half of it, and once this returns a
// power cut leaves all of it under that name. Empty on success; what went wrong otherwise.
std::string CQsoferryView::PutForSending(const std::string& to, const std::function<FileResult(FileHandle)>& fill) {
    m_platform.MakeFolder(m_strSendingOwnFolder);
    if (!m_platform.MakeFolder(m_strSendingFolder)) return "cannot make the folder " + m_strSendingFolder;
    const std::string part = to + ".part";
    // One an earlier start did not finish. Nothing is ever written into a leftover: its tail would
    // go to DXbase behind what the operator chose.
    FileResult removed = m_platform.RemoveFile(part);
    if (!removed.ok() && removed.status != FileStatus::kNotFound)
        return "the unfinished copy " + part + " from before cannot be removed: " + removed.reason;
    FileHandle target = kNoFile;
    std::uint64_t size = 0;
    FileResult result = m_platform.OpenFile(part, FileAccess::kReadWrite, target, size);
    if (result.ok() && size != 0) {
        // Made again meanwhile, by another Qsoferry of this user's: it is not this one's to write.
        m_platform.CloseFile(target);
        return part + " is being written by another program";
    }
    if (result.ok()) result = fill(target);
    if (result.ok()) result = m_platform.FlushFile(target);
    if (target != kNoFile) m_platform.CloseFile(target);
    if (result.ok()) result = m_platform.MoveFileNoReplace(part, to, true);
    if (result.ok()) return {};
    m_platform.RemoveFile(part);
    return result.reason;
}

}  // namespace qsoferry
