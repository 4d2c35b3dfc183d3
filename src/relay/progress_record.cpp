#include "relay/progress_record.h"

#include <array>
#include <cstdio>

namespace qsoferry {
namespace {

// "QSOFERRY1 <sequence> <offset> <contacts> <complete> <crc>\n" of the first versions,
// "QSOFERRY2 ... <complete> <copyFrom> <copyEnd> <copyCrc> <crc>\n" of the next, and now
// "QSOFERRY3 ... <copyCrc> <owedFrom> <owedTo> <crc>\n", numbers in fixed-width hex.
constexpr std::string_view kMagicV1 = "QSOFERRY1 ";
constexpr std::string_view kMagicV2 = "QSOFERRY2 ";
constexpr std::string_view kMagic = "QSOFERRY3 ";

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr auto kCrcTable = MakeCrcTable();

// The next field of `width` hex digits and the space or line feed after it.
bool TakeHex(std::string_view& text, size_t width, std::uint64_t& value) {
    if (text.size() <= width || (text[width] != ' ' && text[width] != '\n')) return false;
    value = 0;
    for (char c : text.substr(0, width)) {
        int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    text.remove_prefix(width + 1);
    return true;
}

// The slot's layout version (1 to 3), when `slot` begins with a record of one; 0 otherwise.
int SlotVersion(std::string_view slot) {
    const std::string_view head = slot.substr(0, kMagic.size());
    return head == kMagicV1 ? 1 : head == kMagicV2 ? 2 : head == kMagic ? 3 : 0;
}

bool DecodeSlot(std::string_view slot, Progress& progress) {
    const int version = SlotVersion(slot);
    if (version == 0) return false;
    const size_t size = version == 1 ? kProgressSlotSizeV1 : version == 2 ? kProgressSlotSizeV2 : kProgressSlotSize;
    if (slot.size() < size) return false;
    slot = slot.substr(0, size);
    const size_t crcAt = size - 9;  // the CRC's 8 digits and the line feed
    std::string_view fields = slot.substr(kMagic.size());
    std::uint64_t complete = 0, copyCrc = 0, crc = 0;
    progress = Progress();
    if (!TakeHex(fields, 16, progress.sequence) || !TakeHex(fields, 16, progress.offset) ||
        !TakeHex(fields, 16, progress.contacts) || !TakeHex(fields, 1, complete) || complete > 1) {
        return false;
    }
    if (version >= 2 && (!TakeHex(fields, 16, progress.copyFrom) || !TakeHex(fields, 16, progress.copyEnd) ||
                         !TakeHex(fields, 8, copyCrc))) {
        return false;
    }
    if (version >= 3 && (!TakeHex(fields, 16, progress.owedFrom) || !TakeHex(fields, 16, progress.owedTo))) {
        return false;
    }
    if (!TakeHex(fields, 8, crc) || !fields.empty() || slot.back() != '\n' || crc != Crc32(slot.substr(0, crcAt))) {
        return false;
    }
    progress.complete = complete == 1;
    progress.copyCrc = static_cast<std::uint32_t>(copyCrc);
    return true;
}

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes) {
    std::uint32_t c = crc ^ 0xFFFFFFFFu;
    for (char b : bytes)
        c = kCrcTable[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t Crc32(std::string_view bytes) {
    return Crc32(0, bytes);
}

std::string EncodeProgressSlot(const Progress& p) {
    char line[kProgressSlotSize + 1];
    const size_t crcAt = kProgressSlotSize - 9;
    std::snprintf(line, sizeof line, "%s%016llx %016llx %016llx %c %016llx %016llx %08x %016llx %016llx ",
                  kMagic.data(), static_cast<unsigned long long>(p.sequence), static_cast<unsigned long long>(p.offset),
                  static_cast<unsigned long long>(p.contacts), p.complete ? '1' : '0',
                  static_cast<unsigned long long>(p.copyFrom), static_cast<unsigned long long>(p.copyEnd),
                  static_cast<unsigned>(p.copyCrc), static_cast<unsigned long long>(p.owedFrom),
                  static_cast<unsigned long long>(p.owedTo));
    std::snprintf(line + crcAt, sizeof line - crcAt, "%08x\n",
                  static_cast<unsigned>(Crc32(std::string_view(line, crcAt))));
    return std::string(line, kProgressSlotSize);
}

std::uint64_t ProgressSlotOffset(int slot) {
    return slot == 0 ? 0 : kProgressPageSize;
}

// Records are looked for at the start of each page, and at byte 72 for a record of the first
// layout, which kept its slot 1 there: a file half delivered by it keeps that slot until the
// first page is written again. On equal sequences the place looked at first wins.
DecodedProgress DecodeProgress(std::string_view bytes) {
    DecodedProgress decoded;
    if (bytes.empty()) return decoded;
    decoded.status = DecodedProgress::Status::kDamaged;
    if (bytes.size() > kProgressFileMax) return decoded;
    for (size_t at : {size_t{0}, kProgressPageSize, kProgressSlotSizeV1}) {
        Progress p;
        if (at >= bytes.size() || !DecodeSlot(bytes.substr(at), p)) continue;
        if (at == kProgressSlotSizeV1 && SlotVersion(bytes.substr(at)) != 1) continue;
        const int slot = at < kProgressPageSize ? 0 : 1;
        if (decoded.status != DecodedProgress::Status::kValid) {
            decoded.status = DecodedProgress::Status::kValid;
        } else if (p.sequence > decoded.progress.sequence) {
            decoded.olderValid = true;
            decoded.older = decoded.progress;
            decoded.olderSlot = decoded.slot;
        } else {
            if (!decoded.olderValid || p.sequence >= decoded.older.sequence) {
                decoded.olderValid = true;
                decoded.older = p;
                decoded.olderSlot = slot;
            }
            continue;
        }
        decoded.progress = p;
        decoded.slot = slot;
        decoded.at = at;
    }
    return decoded;
}

}  // namespace qsoferry
