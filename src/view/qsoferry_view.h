// CQsoferryView: the bridge's only view. It owns every piece of the bridge's state (paths, flags,
// the QSO record, the export slots, the bitmaps, the delivery under way) and orchestrates the relay
// library: its timer handler is the poll cycle. Its members are split into files by concern:
//   src/view/qsoferry_view.cpp  construction, initial update, check box, end of session
//   src/view/log_location.cpp   log and backup paths, start-up backup
//   src/view/poll_cycle.cpp     OnTimer, ReadLogFile, ParseField
//   src/view/delivery.cpp       the claimed log and its durable delivery progress
//   src/view/record.cpp         the QSO record's operations, over the relay library's rules
//   src/view/export.cpp         SendRecord
//   src/view/lamps.cpp          UpdateLamps, DrainMessageQueue
// It talks to the outside only through the Platform it is given.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "relay/export_record.h"
#include "relay/log_reader.h"
#include "relay/progress_record.h"
#include "relay/qso_record.h"
#include "resource.h"

namespace qsoferry {

constexpr const char kAppTitle[] = "Qsoferry ver 1.00";
constexpr const char kSourceEmptyText[] = "The source file is empty";
constexpr const char kLoggerClass[] = "DXbase";
constexpr const char kDecoderTitle[] = "JTDX - Wide Graph";
constexpr unsigned long COPYDATA_QSO = 10001;
constexpr unsigned kPollTimerId = 1;
constexpr unsigned kPollPeriodMs = 1000;
constexpr size_t kExportBufferSize = kExportMaxBytes + 1;  // terminating NUL included
// The progress is flushed to the disk after this many deliveries and whenever delivery pauses, so
// a power cut repeats at most this many contacts.
constexpr unsigned kFlushEveryContacts = 100;
// A file another program keeps from being deleted for this many ticks is a lasting failure.
constexpr unsigned kLastingFailureTicks = 10;

class CQsoferryView {
public:
    explicit CQsoferryView(Platform& platform);
    ~CQsoferryView();
    CQsoferryView(const CQsoferryView&) = delete;
    CQsoferryView& operator=(const CQsoferryView&) = delete;

    // Start-up and the form's handlers.
    void OnInitialUpdate();
    void OnUpdate();
    void DoDataExchange();
    void OnNoFreqClicked();
    void OnMouseMove() {}  // default processing only
    void OnDestroy();      // the view's window is going away
    // Windows is shutting down or logging off: delivery ends between two contacts, the progress on
    // the disk. A query may still be cancelled; `ending` says whether the session really ends.
    void OnQueryEndSession();
    void OnEndSession(bool ending);

    // Log location and start-up backup.
    void DeriveLogPaths();
    void PreserveLogOnce();
    void SetLogPath(const std::string& logPath);  // the log path and the claimed file's beside it

    // Poll cycle and log reading.
    void OnTimer(unsigned nIDEvent);
    bool ReadLogFile();
    int ParseField(std::string piece);

    // QSO record and field rules.
    void ResetRecord();
    void StoreField(std::string name, std::string value);
    void FinishRecord();
    void FixSideband();
    void CheckComplete();
    void NormaliseBand(std::string value);
    void NormaliseMode(std::string value);
    void NormaliseFreq(std::string value);
    void NormaliseGrid(std::string value);
    void NormaliseComment(std::string value);

    // Export and delivery. True when the logger's window took the record.
    bool SendRecord(WindowHandle logger);

    // Presence lamps.
    WindowHandle UpdateLamps();
    void DrainMessageQueue();

    bool IsClosing() const { return m_bClosing; }
    bool IsBackupPending() const { return m_bBackupPending; }
    const std::string& ClaimPath() const { return m_strClaimPath; }
    const std::string& ProgressPath() const { return m_strProgressPath; }

    // Form controls, bound to their ids.
    const int m_ctlBadge = IDC_BADGE;
    const int m_ctlDecoderLamp = IDC_DECODER_LAMP;
    const int m_ctlLoggerLamp = IDC_LOGGER_LAMP;
    int m_nNoFreqCheck = 0;
    BitmapHandle m_bmpLampOff = kNoBitmap;
    BitmapHandle m_bmpLampOn = kNoBitmap;
    BitmapHandle m_bmpBadge = kNoBitmap;
    DrainResult m_msg = DrainResult::kEmpty;  // scratch result of the last peek
    std::string m_strLogPath;
    std::string m_strBackupPath;
    std::uint8_t m_nNoFreq = 0;

    // The QSO record, kept by the relay library's value type; the members name its fields.
    QsoRecord m_record;
    std::string& m_strCall = m_record.call;
    std::string& m_strFreq = m_record.freq;
    std::string& m_strBand = m_record.band;
    std::string& m_strMode = m_record.mode;
    std::string& m_strRstRcvd = m_record.rstRcvd;
    std::string& m_strRstSent = m_record.rstSent;
    std::string& m_strComment = m_record.comment;
    std::string& m_strGrid = m_record.grid;
    std::string& m_strName = m_record.name;
    std::string& m_strTxPower = m_record.txPower;

    // Positions 1 to 15 of the last export record.
    ExportSlots m_strExportSlots;

private:
    // The claimed file being delivered in this cycle, with its progress.
    struct ClaimedLog {
        FileHandle file = kNoFile;
        FileHandle progressFile = kNoFile;
        std::unique_ptr<LogReader> reader;
        Progress progress;     // as last recorded, or waiting to be
        int safeSlot = -1;     // the slot with the last flushed record: never overwritten unflushed
        bool unrecorded = false;  // `progress` is not on the disk yet
        unsigned sinceFlush = 0;
        bool atEnd = false;
    };

    bool OpenClaimedLog();
    bool ClaimLog();
    bool OpenProgress(std::uint64_t claimedSize, LogReader::Start& start);
    bool WriteProgress(bool flush);
    bool ReadyToSend();
    void RecordDelivery();
    void FlushProgress();
    void CloseLogFile();
    void PutBackEmptyLog();
    void RemoveLeftoverProgress();
    bool TakeDeliveryLock();

    void ReportOnce(const std::string& message);
    void ReportFileError(const std::string& action, const std::string& path, const FileResult& result);

    Platform& m_platform;
    std::string m_strClaimPath;     // private name the log is moved to while it is relayed
    std::string m_strProgressPath;  // how far the claimed file's delivery got
    std::string m_strLockName;      // only one bridge at a time delivers from this log
    bool m_bDeliveryLock = false;
    unsigned m_nRemoveFailures = 0;  // ticks in a row the delivered claimed file could not be deleted
    ClaimedLog m_claim;
    std::optional<Progress> m_unwritten;  // a delivery whose record could not be written yet
    std::string m_strMessageBuffer;       // the export text, its storage reused
    bool m_bInCycle = false;
    bool m_bClosing = false;
    bool m_bEnding = false;
    bool m_bBackupPending = false;
    bool m_bPathsKnown = false;  // from a user name or the system: the start-up backup may run
    std::string m_strLastReport;  // the last problem shown, so it is shown only once
};

}  // namespace qsoferry
