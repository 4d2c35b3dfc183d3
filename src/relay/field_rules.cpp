// The QSO record: how each ADIF field is stored and brought into the form the logger expects, and
// the end-of-record rules that settle mode against band and mark incomplete contacts.
#include <utility>

#include "relay/text.h"
#include "view/qsoferry_view.h"

namespace qsoferry {
namespace {

struct BandRow {
    const char* code;
    const char* name;
};

constexpr BandRow kBands[] = {
    {"0", "2M"},    {"1", "6M"},      {"2", "10M"},   {"3", "12M"},   {"4", "15M"},   {"5", "17M"},
    {"6", "20M"},   {"7", "30M"},     {"8", "40M"},   {"9", "80M"},   {"10", "160M"}, {"11", "1.25M"},
    {"12", "70CM"}, {"13", "33CM"},   {"14", "23CM"}, {"15", "13CM"}, {"16", "9CM"},  {"17", "6CM"},
    {"18", "3CM"},  {"19", "1.25CM"}, {"20", "6MM"},  {"21", "4MM"},  {"22", "4M"},   {"23", "60M"},
};

}  // namespace

void CQsoferryView::ResetRecord() {
    for (std::string* member : {&m_strCall, &m_strFreq, &m_strBand, &m_strMode, &m_strRstRcvd, &m_strRstSent,
                                &m_strComment, &m_strGrid, &m_strName, &m_strTxPower}) {
        member->clear();
    }
}

bool CQsoferryView::RecordIsEmpty() const {
    for (const std::string* member : {&m_strCall, &m_strFreq, &m_strBand, &m_strMode, &m_strRstRcvd, &m_strRstSent,
                                      &m_strComment, &m_strGrid, &m_strName, &m_strTxPower}) {
        if (!member->empty()) return false;
    }
    return true;
}

QsoSnapshot CQsoferryView::TakeRecord() const {
    return {m_strCall,    m_strFreq,    m_strBand, m_strMode, m_strRstRcvd,
            m_strRstSent, m_strComment, m_strGrid, m_strName, m_strTxPower};
}

void CQsoferryView::RestoreRecord(const QsoSnapshot& r) {
    m_strCall = r.call;
    m_strFreq = r.freq;
    m_strBand = r.band;
    m_strMode = r.mode;
    m_strRstRcvd = r.rstRcvd;
    m_strRstSent = r.rstSent;
    m_strComment = r.comment;
    m_strGrid = r.grid;
    m_strName = r.name;
    m_strTxPower = r.txPower;
}

void CQsoferryView::StoreField(std::string name, std::string value) {
    if (name == "CALL") {
        m_strCall = text::ToUpper(value);
    } else if (name == "BAND") {
        NormaliseBand(std::move(value));
    } else if (name == "MODE" || name == "SUBMODE") {
        // Both write the mode: whichever comes later in the record wins.
        NormaliseMode(std::move(value));
    } else if (name == "FREQ") {
        NormaliseFreq(std::move(value));
    } else if (name == "RST_RCVD") {
        if (value.size() < 5) m_strRstRcvd = value;
    } else if (name == "RST_SENT") {
        if (value.size() < 5) m_strRstSent = value;
    } else if (name == "GRIDSQUARE") {
        NormaliseGrid(std::move(value));
    } else if (name == "COMMENT") {
        NormaliseComment(std::move(value));
    } else if (name == "NAME") {
        m_strName = value;
    } else if (name == "TX_PWR") {
        m_strTxPower = value.substr(0, 4);
    }
    // TIME_ON, QSO_DATE and the rest are known to the decoder but nothing sent depends on them.
}

void CQsoferryView::NormaliseBand(std::string value) {
    value = text::TrimLeft(value);
    for (const BandRow& row : kBands) {
        if (text::EqualsNoCase(value, row.name)) {
            m_strBand = row.code;
            return;
        }
    }
    m_strBand = "99";
}

void CQsoferryView::NormaliseMode(std::string value) {
    if (value.size() >= 16) {
        m_strMode = "99";  // emptied by the end-of-record rules
        return;
    }
    std::string upper = text::ToUpper(value);
    m_strMode = upper.find("SSTV") != std::string::npos ? "SSTV" : upper;
}

void CQsoferryView::NormaliseFreq(std::string value) {
    if (value.empty()) return;
    size_t dot = value.find('.');
    if (dot == std::string::npos) {
        m_strFreq = value + "000.00";
        return;
    }
    // MHz to whole kHz: the first three fraction digits, padded, never rounded.
    std::string fraction = value.substr(dot + 1);
    fraction = fraction.substr(0, fraction.find('.')).substr(0, 3);
    fraction.resize(3, '0');
    m_strFreq = value.substr(0, dot) + fraction + ".00";
}

void CQsoferryView::NormaliseGrid(std::string value) {
    if (value.size() < 4) return;
    m_strGrid = text::ToUpper(value.size() == 6 ? value : value.substr(0, 4));
}

void CQsoferryView::NormaliseComment(std::string value) {
    if (value.empty()) return;
    m_strComment = text::TrimLeft(value).substr(0, 50);
}

void CQsoferryView::FinishRecord() {
    if (m_strMode == "99") {
        m_strMode.clear();
    } else if (m_strBand == "99") {
        m_strBand.clear();
    } else {
        if (m_strMode == "89") FixSideband();
        CheckComplete();
    }
}

void CQsoferryView::FixSideband() {
    // "89" is SSB with the sideband still open: lower on 40, 80 and 160 m, upper elsewhere.
    m_strMode = (m_strBand == "8" || m_strBand == "9" || m_strBand == "10") ? "1" : "0";
}

void CQsoferryView::CheckComplete() {
    if (m_strCall.size() < 2) return;
    if (m_strBand.empty()) {
        m_strBand = "noBand";
    } else if (m_strMode.empty()) {
        m_strMode = "noMode";
    }
}

}  // namespace qsoferry
