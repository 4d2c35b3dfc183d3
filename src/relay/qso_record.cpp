#include "relay/qso_record.h"

#include <cstdint>
#include <cstring>
#include <iterator>

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

// The same for a name of up to 6 bytes as a log has it, upper-cased: the bytes are loaded as two
// words that may overlap, or one by one when there are fewer than four.
std::uint64_t PackedUpper(const char* name, size_t size) {
    std::uint64_t word = 0;
    if (size >= 4) {
        word = text::PackedBytes<4>(name) | text::PackedBytes<4>(name + size - 4) << (8 * (size - 4));
    } else if (size > 0) {
        word = text::PackedBytes<1>(name) | text::PackedBytes<1>(name + size / 2) << (8 * (size / 2)) |
               text::PackedBytes<1>(name + size - 1) << (8 * (size - 1));
    }
    return text::UpperWord(word) << 8 | size;
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

// Where a band's row is found: one of 32 slots, picked by a multiply that gives every band a slot
// of its own.
constexpr std::uint64_t kBandSpread = 0xfc79c9476a9dcd87;
constexpr size_t BandSlot(std::uint64_t key) {
    return static_cast<size_t>((key * kBandSpread) >> 59);
}
struct BandSlots {
    signed char row[32];
};
constexpr BandSlots MakeBandSlots() {
    BandSlots slots{};
    for (signed char& row : slots.row)
        row = -1;
    for (size_t i = 0; i < std::size(kBands); ++i)
        slots.row[BandSlot(kBands[i].key)] = static_cast<signed char>(i);
    return slots;
}
constexpr BandSlots kBandSlots = MakeBandSlots();
constexpr bool EveryBandHasASlotOfItsOwn() {
    for (size_t i = 0; i < std::size(kBands); ++i) {
        if (kBandSlots.row[BandSlot(kBands[i].key)] != static_cast<signed char>(i)) return false;
    }
    return true;
}
static_assert(EveryBandHasASlotOfItsOwn(), "another spread is needed");

}  // namespace

Field FieldNamed(std::string_view name) {
    for (char c : name) {
        if (c >= 'a' && c <= 'z') return Field::kOther;
    }
    return FieldNamedIgnoringCase(name);
}

void QsoRecord::Reset() {
    call.clear(), freq.clear(), band.clear(), mode.clear(), rstRcvd.clear(), rstSent.clear();
    comment.clear(), grid.clear(), name.clear(), txPower.clear(), qsoDate.clear(), timeOn.clear();
}

bool QsoRecord::IsEmpty() const {
    for (const FieldText* field :
         {&call, &freq, &band, &mode, &rstRcvd, &rstSent, &comment, &grid, &name, &txPower}) {
        if (!field->empty()) return false;
    }
    return true;
}

void QsoRecord::Store(Field field, std::string_view value) {
    switch (field) {
        case Field::kCall:
            call.AssignUpper(value);
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
            if (value.size() < 5) rstRcvd.Assign(value);
            break;
        case Field::kRstSent:
            if (value.size() < 5) rstSent.Assign(value);
            break;
        case Field::kGrid:
            NormaliseGrid(value);
            break;
        case Field::kComment:
            NormaliseComment(value);
            break;
        case Field::kName:
            name.Assign(value);
            break;
        case Field::kTxPower:
            txPower.Assign(value.substr(0, 4));
            break;
        case Field::kQsoDate:
            qsoDate.Assign(text::TrimLeftView(value));
            break;
        case Field::kTimeOn:
            timeOn.Assign(text::TrimLeftView(value));
            break;
        case Field::kOther:
            break;
    }
}

std::string_view BandNameOfCode(std::string_view code) {
    for (const BandRow& row : kBands) {
        if (row.code == code) return row.name;
    }
    return {};
}

void QsoRecord::NormaliseBand(std::string_view value) {
    value = text::TrimLeftView(value);
    constexpr size_t kLongestBand = 6;  // 1.25CM
    if (value.size() <= kLongestBand) {
        const std::uint64_t key = PackedUpper(value.data(), value.size());
        const int row = kBandSlots.row[BandSlot(key)];
        if (row >= 0 && kBands[row].key == key) {
            band.Assign(kBands[row].code);
            return;
        }
    }
    band.Assign("99");
}

void QsoRecord::NormaliseMode(std::string_view value) {
    if (value.size() >= 16) {
        mode.Assign("99");  // emptied by the end-of-record rules
        return;
    }
    mode.AssignUpper(value);
    if (mode.size() >= 4 && std::string_view(mode).find("SSTV") != std::string_view::npos) mode.Assign("SSTV");
}

void QsoRecord::NormaliseFreq(std::string_view value) {
    if (value.empty()) return;
    // A few bytes: looked through in place rather than by a library search.
    size_t dot = 0;
    while (dot < value.size() && value[dot] != '.')
        ++dot;
    if (dot == value.size()) {
        freq.Assign(value);
        freq.Append("000.00");
        return;
    }
    // MHz to whole kHz: the first three fraction digits, padded, never rounded.
    std::string_view fraction = value.substr(dot + 1, 3);
    for (size_t i = 0; i < fraction.size(); ++i) {
        if (fraction[i] == '.') fraction = fraction.substr(0, i);
    }
    freq.Assign(value.substr(0, dot));
    freq.Append(fraction);
    freq.Append(3 - fraction.size(), '0');
    freq.Append(".00");
}

void QsoRecord::NormaliseGrid(std::string_view value) {
    if (value.size() < 4) return;
    grid.AssignUpper(value.size() == 6 ? value : value.substr(0, 4));
}

void QsoRecord::NormaliseComment(std::string_view value) {
    if (value.empty()) return;
    comment.Assign(text::TrimLeftView(value).substr(0, 50));
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
    mode.Assign((band == "8" || band == "9" || band == "10") ? "1" : "0");
}

void QsoRecord::CheckComplete() {
    if (call.size() < 2) return;
    if (band.empty()) {
        band.Assign("noBand");
    } else if (mode.empty()) {
        mode.Assign("noMode");
    }
}

}  // namespace qsoferry
