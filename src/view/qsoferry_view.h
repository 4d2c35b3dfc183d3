// CQsoferryView: the bridge's only view. It owns every piece of the bridge's state (paths, flags,
// the QSO record, the export slots, the bitmaps) and hosts the relay: its timer handler is the poll
// cycle. The relay operations are its member functions, split into files by concern:
//   src/view/qsoferry_view.cpp  construction, initial update, check box
//   src/view/log_location.cpp   log and backup paths, start-up backup
//   src/relay/poll_cycle.cpp    OnTimer, ReadLogFile, ParseField
//   src/relay/field_rules.cpp   the QSO record and its field rules
//   src/relay/export.cpp        SendRecord
//   src/relay/lamps.cpp         UpdateLamps, DrainMessageQueue
// It talks to the outside only through the Platform it is given.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "resource.h"

namespace qsoferry {

constexpr const char kAppTitle[] = "Qsoferry ver 1.00";
constexpr const char kSourceEmptyText[] = "The source file is empty";
constexpr const char kLoggerClass[] = "DXbase";
constexpr const char kDecoderTitle[] = "JTDX - Wide Graph";
constexpr unsigned long COPYDATA_QSO = 10001;
constexpr unsigned kPollTimerId = 1;
constexpr unsigned kPollPeriodMs = 1000;
constexpr size_t kExportBufferSize = 504;  // terminating NUL included
constexpr size_t kExportSlotCount = 15;

// The ten fields of one contact, as kept aside between reading a file and delivering it.
struct QsoSnapshot {
    std::string call, freq, band, mode, rstRcvd, rstSent, comment, grid, name, txPower;
};

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

    // Log location and start-up backup.
    void DeriveLogPaths();
    void PreserveLogOnce();
    void SetLogPath(const std::string& logPath);  // the log path and the claim path beside it

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

    // Export and delivery.
    void SendRecord(WindowHandle logger);
    std::string ComposeExport() const;  // the record text as it would be sent, at most 503 bytes

    // Presence lamps.
    WindowHandle UpdateLamps();
    void DrainMessageQueue();

    QsoSnapshot TakeRecord() const;
    void RestoreRecord(const QsoSnapshot& record);

    bool IsClosing() const { return m_bClosing; }
    bool IsBackupPending() const { return m_bBackupPending; }

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

    // The QSO record.
    std::string m_strCall;
    std::string m_strFreq;
    std::string m_strBand;
    std::string m_strMode;
    std::string m_strRstRcvd;
    std::string m_strRstSent;
    std::string m_strComment;
    std::string m_strGrid;
    std::string m_strName;
    std::string m_strTxPower;

    // Positions 1 to 15 of the last export record.
    std::array<std::string, kExportSlotCount> m_strExportSlots;

private:
    bool RecordIsEmpty() const;
    void ParseLines(const std::vector<std::string>& lines, size_t firstDataLine);
    bool ReadClaimedFile();
    void ReportOnce(const std::string& message);
    void ReportFileError(const std::string& action, const std::string& path, const FileResult& result);

    Platform& m_platform;
    std::string m_strClaimPath;  // private name the log is moved to while it is relayed
    bool m_bInCycle = false;
    bool m_bClosing = false;
    bool m_bBackupPending = false;
    bool m_bHaveUserName = false;
    std::string m_strLastReport;         // the last file error shown, so it is shown only once
    std::vector<QsoSnapshot> m_pending;  // contacts read from the claimed file, not yet sent
};

}  // namespace qsoferry
