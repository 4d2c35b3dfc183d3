#include "relay/export_record.h"

#include <string_view>

#include "relay/text.h"

namespace qsoferry {
namespace {

constexpr size_t kFreqPosition = 3;  // zero-based
constexpr size_t kGridPosition = 6;
constexpr size_t kMaxParts = 7;

struct Position {
    std::array<std::string_view, kMaxParts> parts;
};

// The one place that says what each position holds. Position 9 is the report text: "RSTS ",
// report sent, two blanks, "RSTR ", report received, three blanks, comment.
std::array<Position, kExportSlotCount> Positions(const QsoRecord& r) {
    return {{
        {{r.call}},
        {{r.rstRcvd}},
        {{r.rstSent}},
        {{r.freq}},
        {{r.name}},
        {{r.mode}},
        {{r.grid}},
        {},
        {{"RSTS ", r.rstSent, "  ", "RSTR ", r.rstRcvd, "   ", r.comment}},
        {},
        {},
        {},
        {{"RSTS ", r.rstSent}},
        {{"RSTR ", r.rstRcvd}},
        {{r.txPower}},
    }};
}

}  // namespace

void FillExportSlots(const QsoRecord& record, ExportSlots& slots) {
    auto positions = Positions(record);
    for (size_t i = 0; i < kExportSlotCount; ++i) {
        slots[i].clear();
        for (std::string_view part : positions[i].parts)
            slots[i] += part;
    }
    text::MakeUpper(slots[kGridPosition]);
}

void ComposeExport(const QsoRecord& record, bool noFreq, std::string& out) {
    out.clear();
    auto positions = Positions(record);
    for (size_t i = 0; i < kExportSlotCount; ++i) {
        if (!(i == kFreqPosition && noFreq)) {
            size_t start = out.size();
            for (std::string_view part : positions[i].parts)
                out += part;
            if (i == kGridPosition) {
                for (size_t k = start; k < out.size(); ++k)
                    out[k] = text::ToUpper(out[k]);
            }
        }
        out += '#';
    }
    // Call sign, name and frequency have no limit of their own; what does not fit the logger's
    // buffer is cut rather than written past it.
    if (out.size() > kExportMaxBytes) out.resize(kExportMaxBytes);
}

std::string ComposeExport(const QsoRecord& record, bool noFreq) {
    std::string out;
    ComposeExport(record, noFreq, out);
    return out;
}

}  // namespace qsoferry
