#include "relay/qso_record.h"

#include <cstdint>
#include <cstring>

#include "relay/text.h"

namespace qsoferry {
namespace {

// A band name of up to 7 bytes, and its length, as one number: a row is matched with one compare.
constexpr std::uint64_t Packed(std::string_view name) {
    std::uint64_t key = name.size();
    for (size_t i = 0; i < name.size(); ++i)
        key |= static_cast<std::uint64_t>(static_cast<unsigned char>(name[i])) << (8 * (i + 1));
    return key;
}

struct BandRow {
    constexpr BandRow(std::string_view c, std::string_view n) : code(c), name(n), key(Packed(n)) {}
    std::string_view code;
    std::string_view name;
    std::uint64_t key;
};

constexpr BandRow kBands[] = {
    {"0", "2M"},    {"1", "6M"},      {"2", "10M"},   {"3", "12M"},   {"4", "15M"},   {"5", "17M"},
    {"6", "20M"},   {"7", "30M"},     {"8", "40M"},   {"9", "80M"},   {"10", "160M"}, {"11", "1.25M"},
    {"12", "70CM"}, {"13", "33CM"},   {"14", "23CM"}, {"15", "13CM"}, {"16", "9CM"},  {"17", "6CM"},
    {"18", "3CM"},  {"19", "1.25CM"}, {"20", "6MM"},  {"21", "4MM"},  {"22", "4M"},   {"23", "60M"},
};

// Assigning through clear and append keeps to the short path of std::string: no aliasing checks,
// and no allocation once the field has held a value as long.
void Assign(std::string& to, std::string_view from) {
    to.clear();
    to.append(from.data(), from.size());
}

void AssignUpper(std::string& to, std::string_view from) {
    Assign(to, from);
    text::MakeUpper(to);
}

bool Is(const std::string& field, std::string_view value) {
    return field.size() == value.size() && std::string_view(field) == value;
}

}  // namespace

Field FieldNamedIgnoringCase(std::string_view name) {
    // TIME_ON, QSO_DATE, STATION_CALLSIGN and the rest are known to the decoder, but nothing sent
    // depends on them. Most names in a log are not kept: the length alone turns them away.
    const char* n = name.data();
    switch (name.size()) {
        case 4: {
            const std::uint64_t key = text::UpperKey<4>(n);
            return key == text::UpperKey<4>("CALL")   ? Field::kCall
                   : key == text::UpperKey<4>("BAND") ? Field::kBand
                   : key == text::UpperKey<4>("MODE") ? Field::kMode
                   : key == text::UpperKey<4>("FREQ") ? Field::kFreq
                   : key == text::UpperKey<4>("NAME") ? Field::kName
                                                      : Field::kOther;
        }
        case 6:
            return text::UpperKey<6>(n) == text::UpperKey<6>("TX_PWR") ? Field::kTxPower : Field::kOther;
        case 7: {
            const std::uint64_t key = text::UpperKey<7>(n);
            return key == text::UpperKey<7>("SUBMODE")   ? Field::kSubmode
                   : key == text::UpperKey<7>("COMMENT") ? Field::kComment
                                                         : Field::kOther;
        }
        case 8: {
            const std::uint64_t key = text::UpperKey<8>(n);
            return key == text::UpperKey<8>("RST_RCVD")   ? Field::kRstRcvd
                   : key == text::UpperKey<8>("RST_SENT") ? Field::kRstSent
                                                          : Field::kOther;
        }
        case 10:
            return text::UpperKey<8>(n) == text::UpperKey<8>("GRIDSQUA") &&
                           text::UpperKey<2>(n + 8) == text::UpperKey<2>("RE")
                       ? Field::kGrid
                       : Field::kOther;
        default:
            return Field::kOther;
    }
}

Field FieldNamed(std::string_view name) {
    for (char c : name) {
        if (c >= 'a' && c <= 'z') return Field::kOther;
    }
    return FieldNamedIgnoringCase(name);
}

void QsoRecord::Reset() {
    for (std::string* field : {&call, &freq, &band, &mode, &rstRcvd, &rstSent, &comment, &grid, &name, &txPower})
        field->clear();
}

bool QsoRecord::IsEmpty() const {
    for (const std::string* field :
         {&call, &freq, &band, &mode, &rstRcvd, &rstSent, &comment, &grid, &name, &txPower}) {
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
            if (value.size() < 5) Assign(rstRcvd, value);
            break;
        case Field::kRstSent:
            if (value.size() < 5) Assign(rstSent, value);
            break;
        case Field::kGrid:
            NormaliseGrid(value);
            break;
        case Field::kComment:
            NormaliseComment(value);
            break;
        case Field::kName:
            Assign(name, value);
            break;
        case Field::kTxPower:
            Assign(txPower, value.substr(0, 4));
            break;
        case Field::kOther:
            break;
    }
}

void QsoRecord::NormaliseBand(std::string_view value) {
    value = text::TrimLeftView(value);
    constexpr size_t kLongestBand = 6;  // 1.25CM
    char upper[kLongestBand];
    if (value.size() <= kLongestBand) {
        for (size_t i = 0; i < value.size(); ++i)
            upper[i] = text::ToUpper(value[i]);
        const std::uint64_t key = Packed(std::string_view(upper, value.size()));
        for (const BandRow& row : kBands) {
            if (row.key == key) {
                Assign(band, row.code);
                return;
            }
        }
    }
    Assign(band, "99");
}

void QsoRecord::NormaliseMode(std::string_view value) {
    if (value.size() >= 16) {
        Assign(mode, "99");  // emptied by the end-of-record rules
        return;
    }
    AssignUpper(mode, value);
    if (mode.size() >= 4 && mode.find("SSTV") != std::string::npos) Assign(mode, "SSTV");
}

void QsoRecord::NormaliseFreq(std::string_view value) {
    if (value.empty()) return;
    size_t dot = value.find('.');
    if (dot == std::string_view::npos) {
        Assign(freq, value);
        freq.append("000.00", 6);
        return;
    }
    // MHz to whole kHz: the first three fraction digits, padded, never rounded.
    std::string_view fraction = value.substr(dot + 1);
    fraction = fraction.substr(0, fraction.find('.')).substr(0, 3);
    Assign(freq, value.substr(0, dot));
    freq.append(fraction.data(), fraction.size());
    freq.append(3 - fraction.size(), '0');
    freq.append(".00", 3);
}

void QsoRecord::NormaliseGrid(std::string_view value) {
    if (value.size() < 4) return;
    AssignUpper(grid, value.size() == 6 ? value : value.substr(0, 4));
}

void QsoRecord::NormaliseComment(std::string_view value) {
    if (value.empty()) return;
    Assign(comment, text::TrimLeftView(value).substr(0, 50));
}

void QsoRecord::Finish() {
    if (Is(mode, "99")) {
        mode.clear();
    } else if (Is(band, "99")) {
        band.clear();
    } else {
        if (Is(mode, "89")) FixSideband();
        CheckComplete();
    }
}

void QsoRecord::FixSideband() {
    // "89" is SSB with the sideband still open: lower on 40, 80 and 160 m, upper elsewhere.
    Assign(mode, (Is(band, "8") || Is(band, "9") || Is(band, "10")) ? "1" : "0");
}

void QsoRecord::CheckComplete() {
    if (call.size() < 2) return;
    if (band.empty()) {
        Assign(band, "noBand");
    } else if (mode.empty()) {
        Assign(mode, "noMode");
    }
}

}  // namespace qsoferry
