#include "relay/qso_record.h"

#include "relay/text.h"

namespace qsoferry {
namespace {

struct BandRow {
    std::string_view code;
    std::string_view name;
};

constexpr BandRow kBands[] = {
    {"0", "2M"},    {"1", "6M"},      {"2", "10M"},   {"3", "12M"},   {"4", "15M"},   {"5", "17M"},
    {"6", "20M"},   {"7", "30M"},     {"8", "40M"},   {"9", "80M"},   {"10", "160M"}, {"11", "1.25M"},
    {"12", "70CM"}, {"13", "33CM"},   {"14", "23CM"}, {"15", "13CM"}, {"16", "9CM"},  {"17", "6CM"},
    {"18", "3CM"},  {"19", "1.25CM"}, {"20", "6MM"},  {"21", "4MM"},  {"22", "4M"},   {"23", "60M"},
};

struct NamedField {
    std::string_view name;
    Field field;
};

// TIME_ON, QSO_DATE, STATION_CALLSIGN and the rest are known to the decoder, but nothing sent
// depends on them.
constexpr NamedField kFields[] = {
    {"CALL", Field::kCall},         {"BAND", Field::kBand},       {"MODE", Field::kMode},
    {"SUBMODE", Field::kSubmode},   {"FREQ", Field::kFreq},       {"RST_RCVD", Field::kRstRcvd},
    {"RST_SENT", Field::kRstSent},  {"GRIDSQUARE", Field::kGrid}, {"COMMENT", Field::kComment},
    {"NAME", Field::kName},         {"TX_PWR", Field::kTxPower},
};

void AssignUpper(std::string& to, std::string_view from) {
    to.assign(from);
    text::MakeUpper(to);
}

}  // namespace

Field FieldNamed(std::string_view name) {
    for (const NamedField& f : kFields) {
        if (f.name == name) return f.field;
    }
    return Field::kOther;
}

void QsoRecord::Reset() {
    for (std::string* field : {&call, &freq, &band, &mode, &rstRcvd, &rstSent, &comment, &grid, &name, &txPower})
        field->clear();
}

bool QsoRecord::IsEmpty() const {
    for (const std::string* field : {&call, &freq, &band, &mode, &rstRcvd, &rstSent, &comment, &grid, &name, &txPower}) {
        if (!field->empty()) return false;
    }
    return true;
}

void QsoRecord::Store(Field field, std::string_view value) {
    switch (field) {
        case Field::kCall:
            AssignUpper(call, value);
            break;
        case Field::kBand:
            NormaliseBand(value);
            break;
        case Field::kMode:
        case Field::kSubmode:  // both write the mode: whichever comes later in the record wins
            NormaliseMode(value);
            break;
        case Field::kFreq:
            NormaliseFreq(value);
            break;
        case Field::kRstRcvd:
            if (value.size() < 5) rstRcvd.assign(value);
            break;
        case Field::kRstSent:
            if (value.size() < 5) rstSent.assign(value);
            break;
        case Field::kGrid:
            NormaliseGrid(value);
            break;
        case Field::kComment:
            NormaliseComment(value);
            break;
        case Field::kName:
            name.assign(value);
            break;
        case Field::kTxPower:
            txPower.assign(value.substr(0, 4));
            break;
        case Field::kOther:
            break;
    }
}

void QsoRecord::NormaliseBand(std::string_view value) {
    value = text::TrimLeftView(value);
    for (const BandRow& row : kBands) {
        if (text::EqualsNoCase(value, row.name)) {
            band.assign(row.code);
            return;
        }
    }
    band = "99";
}

void QsoRecord::NormaliseMode(std::string_view value) {
    if (value.size() >= 16) {
        mode = "99";  // emptied by the end-of-record rules
        return;
    }
    AssignUpper(mode, value);
    if (mode.find("SSTV") != std::string::npos) mode = "SSTV";
}

void QsoRecord::NormaliseFreq(std::string_view value) {
    if (value.empty()) return;
    size_t dot = value.find('.');
    if (dot == std::string_view::npos) {
        freq.assign(value);
        freq += "000.00";
        return;
    }
    // MHz to whole kHz: the first three fraction digits, padded, never rounded.
    std::string_view fraction = value.substr(dot + 1);
    fraction = fraction.substr(0, fraction.find('.')).substr(0, 3);
    freq.assign(value.substr(0, dot));
    freq += fraction;
    freq.append(3 - fraction.size(), '0');
    freq += ".00";
}

void QsoRecord::NormaliseGrid(std::string_view value) {
    if (value.size() < 4) return;
    AssignUpper(grid, value.size() == 6 ? value : value.substr(0, 4));
}

void QsoRecord::NormaliseComment(std::string_view value) {
    if (value.empty()) return;
    comment.assign(text::TrimLeftView(value).substr(0, 50));
}

void QsoRecord::Finish() {
    if (mode == "99") {
        mode.clear();
    } else if (band == "99") {
        band.clear();
    } else {
        if (mode == "89") FixSideband();
        CheckComplete();
    }
}

void QsoRecord::FixSideband() {
    // "89" is SSB with the sideband still open: lower on 40, 80 and 160 m, upper elsewhere.
    mode = (band == "8" || band == "9" || band == "10") ? "1" : "0";
}

void QsoRecord::CheckComplete() {
    if (call.size() < 2) return;
    if (band.empty()) {
        band = "noBand";
    } else if (mode.empty()) {
        mode = "noMode";
    }
}

}  // namespace qsoferry
