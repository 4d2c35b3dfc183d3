// Fuzzes the Relayed Contacts list over any bytes a copy may hold (records of several lines, a
// power cut's leftovers, a copy the operator edited): read in two steps as a growing copy is, cut
// where the first byte says, it lists what a whole read lists; every cell can be shown; every
// record it would send again is one whole record, and all of them, read back as a copy, list the
// same contacts with the same cells; and a copy cut back to its first part keeps the ids of the
// rows it still holds.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "memory_files.h"
#include "relay/sent_copy.h"
#include "view/relayed_list.h"

namespace {

using namespace qsoferry;

using Files = MemoryFiles;

// A row's cells, but its folder's (every row's is the one copy's).
std::vector<std::string> RowCells(const RelayedList& list, size_t row) {
    std::vector<std::string> cells;
    for (size_t column = 0; column < kRelayedColumns; ++column) {
        if (column != static_cast<size_t>(RelayedColumn::kFolder))
            cells.push_back(list.Text(row, static_cast<RelayedColumn>(column)));
    }
    return cells;
}

std::vector<std::string> Cells(const RelayedList& list) {
    std::vector<std::string> cells;
    for (size_t row = 0; row < list.Shown(); ++row) {
        for (std::string& cell : RowCells(list, row))
            cells.push_back(std::move(cell));
    }
    return cells;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<CopySource> sources = {{"C:\\copy", "C:\\", "JTDX"}};
    const size_t cut = size == 0 ? 0 : static_cast<size_t>(data[0]) * size / 256;
    Files growing, whole;
    RelayedList stepwise(growing), atOnce(whole);
    growing.files["C:\\copy"] = bytes.substr(0, cut);
    stepwise.Refresh(sources);
    std::vector<std::uint32_t> ids;
    std::vector<std::string> early = Cells(stepwise);
    for (size_t row = 0; row < stepwise.Shown(); ++row)
        ids.push_back(stepwise.IdOf(row));
    growing.files["C:\\copy"] = bytes;
    stepwise.Refresh(sources);
    whole.files["C:\\copy"] = bytes;
    atOnce.Refresh(sources);
    if (stepwise.Total() != atOnce.Total() || stepwise.Shown() != stepwise.Total() ||
        stepwise.SkippedLines() != atOnce.SkippedLines() || Cells(stepwise) != Cells(atOnce))
        std::abort();
    // Back to the first part: the rows read from it keep their ids and cells.
    growing.files["C:\\copy"] = bytes.substr(0, cut);
    stepwise.Refresh(sources);
    if (Cells(stepwise).size() != early.size()) std::abort();
    for (size_t i = 0; i < ids.size(); ++i) {
        std::optional<size_t> row = stepwise.RowOf(ids[i]);
        if (!row) std::abort();
        const std::vector<std::string> cells = RowCells(stepwise, *row);
        if (!std::equal(cells.begin(), cells.end(), early.begin() + static_cast<long>(i * cells.size()))) std::abort();
    }
    if (atOnce.Total() == 0) return 0;
    std::vector<size_t> rows;
    std::string why;
    Files one;
    for (size_t row = 0; row < atOnce.Shown(); ++row) {
        // Each record alone: whole, and the same contact.
        std::optional<std::string> record = atOnce.Records({row}, why);
        if (!record || record->size() <= sizeof kCopyHeader - 1 + 2) std::abort();
        one.files["C:\\copy"] = *record;
        RelayedList alone(one);
        alone.Refresh(sources);
        if (alone.Total() != 1 || alone.SkippedLines() != 0) std::abort();
        for (size_t column = 0; column + 1 < kRelayedColumns; ++column) {
            if (alone.Text(0, static_cast<RelayedColumn>(column)) !=
                atOnce.Text(row, static_cast<RelayedColumn>(column)))
                std::abort();
        }
        rows.push_back(row);
    }
    std::optional<std::string> records = atOnce.Records(rows, why);
    if (!records) std::abort();
    Files again;
    again.files["C:\\copy"] = *records;
    RelayedList reread(again);
    reread.Refresh(sources);
    if (reread.Total() != atOnce.Total() || reread.SkippedLines() != 0 || Cells(reread) != Cells(atOnce)) std::abort();
    return 0;
}
