// The QSO record: the ten fields of one contact as the logger receives them, with the rules that
// bring each ADIF value into that form and the end-of-record rules that settle mode against band.
// A plain value: it knows nothing of files, windows or the bridge's view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "relay/text.h"

namespace qsoferry {

// The text of one field, held in place. No field reaches the logger longer than the export
// record that carries it, so bytes past that are not kept. The storage reaches past the longest
// text, so that the export can copy a short field a whole word at a time.
class FieldText {
public:
    static constexpr size_t kKept = 503;  // the longest export record
    static constexpr size_t kSlack = 16;  // readable bytes past the longest text

    FieldText() = default;
    FieldText& operator=(std::string_view text) {
        Assign(text);
        return *this;
    }
    operator std::string_view() const { return std::string_view(m_bytes, m_size); }
    bool operator==(std::string_view other) const { return std::string_view(*this) == other; }
    bool operator!=(std::string_view other) const { return !(*this == other); }

    const char* data() const { return m_bytes; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    void clear() { m_size = 0; }

    void Assign(std::string_view text) {
        m_size = 0;
        Append(text);
    }
    void AssignUpper(std::string_view text) {
        m_size = text.size() < kKept ? text.size() : kKept;
        Copy<true>(m_bytes, text.data(), m_size);
    }
    void Append(std::string_view text) {
        const size_t count = text.size() < kKept - m_size ? text.size() : kKept - m_size;
        Copy<false>(m_bytes + m_size, text.data(), count);
        m_size += count;
    }
    void Append(size_t count, char c) {
        count = count < kKept - m_size ? count : kKept - m_size;
        std::memset(m_bytes + m_size, c, count);
        m_size += count;
    }

private:
    // Up to sixteen bytes by two loads and two stores that may overlap, upper-cased on the way
    // when asked; the source is read no further than its end.
    template <bool kUpper>
    static void Copy(char* to, const char* from, size_t count) {
        if (count >= 8 && count <= 16) {
            Move<std::uint64_t, kUpper>(to, from);
            Move<std::uint64_t, kUpper>(to + count - 8, from + count - 8);
        } else if (count >= 4 && count < 8) {
            Move<std::uint32_t, kUpper>(to, from);
            Move<std::uint32_t, kUpper>(to + count - 4, from + count - 4);
        } else if (count > 0 && count < 4) {
            for (size_t i = 0; i < count; ++i)
                to[i] = kUpper ? text::ToUpper(from[i]) : from[i];
        } else if (count > 16) {
            std::memcpy(to, from, count);
            for (size_t i = 0; kUpper && i < count; ++i)
                to[i] = text::ToUpper(to[i]);
        }
    }
    template <typename Word, bool kUpper>
    static void Move(char* to, const char* from) {
        Word word;
        std::memcpy(&word, from, sizeof word);
        if (kUpper) word = static_cast<Word>(text::UpperWord(word));
        std::memcpy(to, &word, sizeof word);
    }

    size_t m_size = 0;
    char m_bytes[kKept + kSlack] = {};
};

// The ADIF fields the record keeps; every other name is ignored.
enum class Field {
    kOther,
    kCall,
    kBand,
    kMode,
    kSubmode,
    kFreq,
    kRstRcvd,
    kRstSent,
    kGrid,
    kComment,
    kName,
    kTxPower,
    kQsoDate,
    kTimeOn
};

// The field a name stands for. Names compare exactly: the caller upper-cases them first.
Field FieldNamed(std::string_view name);
// The same with the name in any case, as a log has it.
inline __attribute__((always_inline)) Field FieldNamedIgnoringCase(std::string_view name) {
    // STATION_CALLSIGN and the rest are known to the decoder, but nothing sent depends on them.
    // Most names in a log are not kept: the length alone turns them away.
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
                   : key == text::UpperKey<7>("TIME_ON") ? Field::kTimeOn
                                                         : Field::kOther;
        }
        case 8: {
            const std::uint64_t key = text::UpperKey<8>(n);
            return key == text::UpperKey<8>("RST_RCVD")   ? Field::kRstRcvd
                   : key == text::UpperKey<8>("RST_SENT") ? Field::kRstSent
                   : key == text::UpperKey<8>("QSO_DATE") ? Field::kQsoDate
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

// The band a band code stands for ("20M" for "6"); empty for a marker or an unknown code.
std::string_view BandNameOfCode(std::string_view code);

struct QsoRecord {
    FieldText call;     // upper case
    FieldText freq;     // kHz with two decimals
    FieldText band;     // band code "0".."23", "99" unknown, "noBand"; never exported
    FieldText mode;     // upper case, at most 15 characters, or a marker
    FieldText rstRcvd;  // at most 4 characters
    FieldText rstSent;  // at most 4 characters
    FieldText comment;  // at most 50 characters, no leading white space
    FieldText grid;     // empty, or 4 or 6 characters, upper case
    FieldText name;     // unchanged
    FieldText txPower;  // at most 4 characters
    // Never sent: they tell one contact from another (contact_key.h). As the log has them, without
    // leading blanks.
    FieldText qsoDate, timeOn;

    void Reset();
    // No field the logger receives: a record of a date and a time alone is sent as none.
    bool IsEmpty() const;

    void StoreField(std::string_view fieldName, std::string_view value) { Store(FieldNamed(fieldName), value); }
    void Store(Field field, std::string_view value);
    void Finish();  // the end-of-record rules

    void FixSideband();
    void CheckComplete();
    void NormaliseBand(std::string_view value);
    void NormaliseMode(std::string_view value);
    void NormaliseFreq(std::string_view value);
    void NormaliseGrid(std::string_view value);
    void NormaliseComment(std::string_view value);
};

}  // namespace qsoferry
