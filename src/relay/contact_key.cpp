#include "relay/contact_key.h"

#include <algorithm>
#include <iterator>

#include "relay/text.h"

namespace qsoferry {
namespace {

// The bands' edges in kHz, as ADIF gives them, with the codes the field rules give their names.
struct BandEdges {
    std::uint64_t low, high;
    std::string_view code;
};
constexpr BandEdges kBandEdges[] = {
    {1800, 2000, "10"},         {3500, 4000, "9"},          {5060, 5450, "23"},         {7000, 7300, "8"},
    {10100, 10150, "7"},        {14000, 14350, "6"},        {18068, 18168, "5"},        {21000, 21450, "4"},
    {24890, 24990, "3"},        {28000, 29700, "2"},        {50000, 54000, "1"},        {70000, 71000, "22"},
    {144000, 148000, "0"},      {222000, 225000, "11"},     {420000, 450000, "12"},     {902000, 928000, "13"},
    {1240000, 1300000, "14"},   {2300000, 2450000, "15"},   {3300000, 3500000, "16"},   {5650000, 5925000, "17"},
    {10000000, 10500000, "18"}, {24000000, 24250000, "19"}, {47000000, 47200000, "20"}, {75500000, 81000000, "21"},
};

bool AllDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// FNV-1a over the fields, each closed by a byte no field holds, then mixed so that every bit of
// the key depends on every byte.
class KeyHash {
public:
    void Add(std::string_view field) {
        for (char c : field)
            Byte(static_cast<unsigned char>(c));
        Byte(0);
    }
    std::uint64_t Value() const {
        std::uint64_t h = m_hash;
        h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ull;
        h = (h ^ (h >> 27)) * 0x94d049bb133111ebull;
        h ^= h >> 31;
        return h == kNoContactKey ? 1 : h;
    }

private:
    void Byte(unsigned char b) { m_hash = (m_hash ^ b) * 0x100000001b3ull; }
    std::uint64_t m_hash = 0xcbf29ce484222325ull;
};

}  // namespace

std::string_view BandCodeOfKhz(std::string_view khz) {
    const std::string_view whole = khz.substr(0, khz.find('.'));
    if (whole.empty() || whole.size() > 9 || !AllDigits(whole)) return {};
    std::uint64_t value = 0;
    for (char c : whole)
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    for (const BandEdges& band : kBandEdges) {
        if (value >= band.low && value <= band.high) return band.code;
    }
    return {};
}

// The digits a value begins with, when nothing but blanks follow them (LoTW writes "// QSO Date"
// after its dates); empty otherwise.
std::string_view LeadingNumber(std::string_view value) {
    value = text::TrimLeftView(value);
    size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9')
        ++digits;
    if (digits < value.size() && !text::IsSpace(value[digits])) return {};
    return value.substr(0, digits);
}

std::uint64_t ContactKeyOf(const QsoRecord& record) {
    const std::string_view call = text::TrimView(record.call), date = LeadingNumber(record.qsoDate);
    const std::string_view time = LeadingNumber(record.timeOn);
    if (call.empty() || date.size() != 8 || (time.size() != 4 && time.size() != 6)) return kNoContactKey;
    // A marker ("99", "noBand") or nothing: the band the frequency falls in, if any.
    std::string_view band = record.band;
    if (BandNameOfCode(band).empty()) band = BandCodeOfKhz(record.freq);
    std::string_view mode = text::TrimView(record.mode);
    if (mode == "noMode") mode = {};
    KeyHash hash;
    hash.Add(call);
    hash.Add(date);
    hash.Add(time.substr(0, 4));
    hash.Add(band);
    hash.Add(mode);
    return hash.Value();
}

void ContactIndex::Settle() {
    if (m_added.empty()) return;
    std::sort(m_added.begin(), m_added.end());
    const size_t before = m_sorted.size();
    m_sorted.insert(m_sorted.end(), m_added.begin(), m_added.end());
    std::inplace_merge(m_sorted.begin(), m_sorted.begin() + static_cast<std::ptrdiff_t>(before), m_sorted.end());
    m_added.clear();
    m_added.shrink_to_fit();
}

std::uint32_t ContactIndex::Count(std::uint64_t key) const {
    if (key == kNoContactKey) return 0;
    const auto range = std::equal_range(m_sorted.begin(), m_sorted.end(), key);
    return static_cast<std::uint32_t>(std::distance(range.first, range.second));
}

}  // namespace qsoferry
