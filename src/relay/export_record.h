// The export record: the fifteen "#"-closed positions the logger receives for one contact.
// Composed from a QSO record alone; what is done with it is the caller's business.
#pragma once

#include <string>

#include "relay/qso_record.h"

namespace qsoferry {

constexpr size_t kExportMaxBytes = 503;  // the logger's buffer holds 504 bytes, NUL included

// The record text: every position followed by "#", position 4 left empty when noFreq is set, cut
// to its first kExportMaxBytes bytes. `out` is overwritten; its storage is reused.
void ComposeExport(const QsoRecord& record, bool noFreq, std::string& out);
// The same into a buffer of kExportMaxBytes bytes; returns the text's length.
size_t ComposeExport(const QsoRecord& record, bool noFreq, char* buffer);
std::string ComposeExport(const QsoRecord& record, bool noFreq);

}  // namespace qsoferry
