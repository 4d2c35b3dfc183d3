#include "relay/progress_record.h"

#include <array>
#include <cstdio>

namespace qsoferry {
namespace {

// "QSOFERRY1 <sequence> <offset> <contacts> <complete> <crc>\n", numbers in fixed-width hex.
constexpr std::string_view kMagic = "QSOFERRY1 ";
constexpr size_t kCrcAt = kProgressSlotSize - 9;  // the CRC's 8 digits and the line feed

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

bool ParseHex(std::string_view text, std::uint64_t& value) {
    value = 0;
    for (char c : text) {
        int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    return true;
}

bool DecodeSlot(std::string_view slot, Progress& progress) {
    if (slot.size() != kProgressSlotSize || slot.substr(0, kMagic.size()) != kMagic) return false;
    if (slot[26] != ' ' || slot[43] != ' ' || slot[60] != ' ' || slot[62] != ' ' || slot.back() != '\n') return false;
    std::uint64_t crc = 0;
    if (!ParseHex(slot.substr(kCrcAt, 8), crc) || crc != Crc32(slot.substr(0, kCrcAt))) return false;
    if (slot[61] != '0' && slot[61] != '1') return false;
    progress.complete = slot[61] == '1';
    return ParseHex(slot.substr(10, 16), progress.sequence) && ParseHex(slot.substr(27, 16), progress.offset) &&
           ParseHex(slot.substr(44, 16), progress.contacts);
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (char b : bytes)
        c = kCrcTable[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string EncodeProgressSlot(const Progress& p) {
    char line[kProgressSlotSize + 1];
    std::snprintf(line, sizeof line, "%s%016llx %016llx %016llx %c ", kMagic.data(),
                  static_cast<unsigned long long>(p.sequence), static_cast<unsigned long long>(p.offset),
                  static_cast<unsigned long long>(p.contacts), p.complete ? '1' : '0');
    std::snprintf(line + kCrcAt, sizeof line - kCrcAt, "%08x\n",
                  static_cast<unsigned>(Crc32(std::string_view(line, kCrcAt))));
    return std::string(line, kProgressSlotSize);
}

std::uint64_t ProgressSlotOffset(int slot) {
    return slot == 0 ? 0 : kProgressPageSize;
}

size_t ProgressSlotAt(int slot, size_t fileSize) {
    if (slot == 0) return 0;
    return fileSize <= 2 * kProgressSlotSize ? kProgressSlotSize : kProgressPageSize;
}

DecodedProgress DecodeProgress(std::string_view bytes) {
    DecodedProgress decoded;
    if (bytes.empty()) return decoded;
    decoded.status = DecodedProgress::Status::kDamaged;
    if (bytes.size() > kProgressFileMax) return decoded;
    for (int slot = 0; slot < 2; ++slot) {
        size_t at = ProgressSlotAt(slot, bytes.size());
        Progress p;
        if (at >= bytes.size() || !DecodeSlot(bytes.substr(at, kProgressSlotSize), p)) continue;
        if (decoded.status != DecodedProgress::Status::kValid || p.sequence > decoded.progress.sequence) {
            decoded.status = DecodedProgress::Status::kValid;
            decoded.progress = p;
            decoded.slot = slot;
        }
    }
    return decoded;
}

}  // namespace qsoferry
