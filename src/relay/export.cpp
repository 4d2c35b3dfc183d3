// The export record: fifteen "#"-closed positions, delivered to the logger in one WM_COPYDATA.
#include "relay/text.h"
#include "view/qsoferry_view.h"

namespace qsoferry {

void CQsoferryView::SendRecord(WindowHandle logger) {
    m_strGrid = text::ToUpper(m_strGrid);

    const std::string rstSent = "RSTS " + m_strRstSent;
    const std::string rstRcvd = "RSTR " + m_strRstRcvd;
    m_strExportSlots = {
        m_strCall, m_strRstRcvd, m_strRstSent,
        m_strFreq, m_strName,    m_strMode,
        m_strGrid, "",           rstSent + "  " + rstRcvd + "   " + m_strComment,
        "",        "",           "",
        rstSent,   rstRcvd,      m_strTxPower,
    };

    // The record follows the box as it is now, even if no click was handled since it changed.
    int check = m_platform.GetCheckState(IDC_NO_FREQ);
    if (check == 1) m_nNoFreq = 1;
    if (check == 0) m_nNoFreq = 0;

    if (logger != kNoWindow) m_platform.SendCopyData(logger, COPYDATA_QSO, ComposeExport());
}

std::string CQsoferryView::ComposeExport() const {
    std::string record;
    for (size_t i = 0; i < m_strExportSlots.size(); ++i) {
        if (!(i == 3 && m_nNoFreq == 1)) record += m_strExportSlots[i];
        record += '#';
    }
    // Call sign, name and frequency have no limit of their own; what does not fit the logger's
    // buffer is cut rather than written past it.
    if (record.size() > kExportBufferSize - 1) record.resize(kExportBufferSize - 1);
    return record;
}

}  // namespace qsoferry
