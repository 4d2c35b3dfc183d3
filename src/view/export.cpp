// The export record: fifteen "#"-closed positions, delivered to the logger in one WM_COPYDATA.
#include "relay/text.h"
#include "view/qsoferry_view.h"

namespace qsoferry {

bool CQsoferryView::SendRecord(WindowHandle logger) {
    text::MakeUpper(m_strGrid);
    FillExportSlots(m_record, m_strExportSlots);

    // The record follows the box as it is now, even if no click was handled since it changed.
    int check = m_platform.GetCheckState(IDC_NO_FREQ);
    if (check == 1) m_nNoFreq = 1;
    if (check == 0) m_nNoFreq = 0;

    if (logger == kNoWindow) return false;
    qsoferry::ComposeExport(m_record, m_nNoFreq == 1, m_strMessageBuffer);
    SendResult sent = m_platform.SendCopyData(logger, COPYDATA_QSO, m_strMessageBuffer);
    if (sent == SendResult::kRefused) {
        // Nothing is lost: the contact waits, and goes once the logger takes messages.
        ReportOnce("DXbase does not accept contacts from Qsoferry: it runs with higher rights (as administrator). "
                   "Start DXbase normally, or Qsoferry as administrator too. The contacts wait until then.");
    }
    return sent == SendResult::kDelivered;
}

}  // namespace qsoferry
