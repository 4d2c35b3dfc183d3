// The QSO record: the ten fields of one contact as the logger receives them, with the rules that
// bring each ADIF value into that form and the end-of-record rules that settle mode against band.
// A plain value: it knows nothing of files, windows or the bridge's view.
#pragma once

#include <string>
#include <string_view>

namespace qsoferry {

// The ADIF fields the record keeps; every other name is ignored.
enum class Field { kOther, kCall, kBand, kMode, kSubmode, kFreq, kRstRcvd, kRstSent, kGrid, kComment, kName, kTxPower };

// The field a name stands for. Names compare exactly: the caller upper-cases them first.
Field FieldNamed(std::string_view name);
// The same with the name in any case, as a log has it.
Field FieldNamedIgnoringCase(std::string_view name);

struct QsoRecord {
    std::string call;     // upper case, any length
    std::string freq;     // kHz with two decimals
    std::string band;     // band code "0".."23", "99" unknown, "noBand"; never exported
    std::string mode;     // upper case, at most 15 characters, or a marker
    std::string rstRcvd;  // at most 4 characters
    std::string rstSent;  // at most 4 characters
    std::string comment;  // at most 50 characters, no leading white space
    std::string grid;     // empty, or 4 or 6 characters, upper case
    std::string name;     // unchanged
    std::string txPower;  // at most 4 characters

    // Empties every field, keeping the strings' storage for the next contact.
    void Reset();
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
