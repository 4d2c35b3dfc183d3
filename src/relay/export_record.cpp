#include "relay/export_record.h"

#include <cstring>
#include <string_view>

#include "relay/text.h"

namespace qsoferry {
namespace {

static_assert(FieldText::kKept >= kExportMaxBytes, "a field as long as the record is kept whole");

// The one place that says what each position holds, written to a sink that takes fields, fixed
// text and the "#" that closes each position. Position 9 is the report text: "RSTS ", report sent,
// two blanks, "RSTR ", report received, three blanks, comment.
template <typename Sink>
void WriteExport(const QsoRecord& r, bool noFreq, Sink& out) {
    out.Field(r.call), out.End();
    out.Field(r.rstRcvd), out.End();
    out.Field(r.rstSent), out.End();
    if (!noFreq) out.Field(r.freq);
    out.End();
    out.Field(r.name), out.End();
    out.Field(r.mode), out.End();
    out.Grid(r.grid), out.End();
    out.End();
    out.Text("RSTS "), out.Field(r.rstSent), out.Text("  RSTR "), out.Field(r.rstRcvd), out.Text("   ");
    out.Field(r.comment), out.End();
    out.End(), out.End(), out.End();
    out.Text("RSTS "), out.Field(r.rstSent), out.End();
    out.Text("RSTR "), out.Field(r.rstRcvd), out.End();
    out.Field(r.txPower), out.End();
}

// Into the logger's fixed buffer: what does not fit is cut rather than written past it.
class BufferSink {
public:
    explicit BufferSink(char* buffer) : m_buffer(buffer) {}
    void Field(const FieldText& text) {
        // A short field as one copy of a fixed size, when the buffer has room for all of it.
        if (text.size() <= FieldText::kSlack && m_used + FieldText::kSlack <= kExportMaxBytes) {
            std::memcpy(m_buffer + m_used, text.data(), FieldText::kSlack);
            m_used += text.size();
        } else {
            Put(text.data(), text.size());
        }
    }
    void Grid(const FieldText& text) {
        size_t start = m_used;
        Field(text);
        for (size_t k = start; k < m_used; ++k)
            m_buffer[k] = text::ToUpper(m_buffer[k]);
    }
    template <size_t N>
    void Text(const char (&text)[N]) {
        if (m_used + N - 1 <= kExportMaxBytes) {
            std::memcpy(m_buffer + m_used, text, N - 1);  // of a size known here: no call
            m_used += N - 1;
        } else {
            Put(text, N - 1);
        }
    }
    void End() {
        if (m_used < kExportMaxBytes) m_buffer[m_used++] = '#';
    }
    size_t Used() const { return m_used; }

private:
    void Put(const char* bytes, size_t size) {
        size = std::min(size, kExportMaxBytes - m_used);
        std::memcpy(m_buffer + m_used, bytes, size);
        m_used += size;
    }
    char* m_buffer;
    size_t m_used = 0;
};

// The usual record, every field shorter than kShort: it fits with room to spare, so nothing is
// counted against the buffer's end and every field is one copy of a fixed size.
constexpr size_t kShort = 16;
static_assert(13 * kShort + 40 + FieldText::kSlack <= kExportMaxBytes, "thirteen fields, the fixed text and a copy's overhang");
class ShortSink {
public:
    explicit ShortSink(char* buffer) : m_buffer(buffer) {}
    void Field(const FieldText& text) {
        std::memcpy(m_buffer + m_used, text.data(), FieldText::kSlack);
        m_used += text.size();
    }
    void Grid(const FieldText& text) {
        std::uint64_t words[2];
        std::memcpy(words, text.data(), sizeof words);
        words[0] = text::UpperWord(words[0]), words[1] = text::UpperWord(words[1]);
        std::memcpy(m_buffer + m_used, words, sizeof words);
        m_used += text.size();
    }
    template <size_t N>
    void Text(const char (&text)[N]) {
        std::memcpy(m_buffer + m_used, text, N - 1);
        m_used += N - 1;
    }
    void End() { m_buffer[m_used++] = '#'; }
    size_t Used() const { return m_used; }

private:
    char* m_buffer;
    size_t m_used = 0;
};

bool AllShort(const QsoRecord& r) {
    return (r.call.size() | r.rstRcvd.size() | r.rstSent.size() | r.freq.size() | r.name.size() | r.mode.size() |
            r.grid.size() | r.comment.size() | r.txPower.size()) < kShort;
}

}  // namespace

size_t ComposeExport(const QsoRecord& record, bool noFreq, char* buffer) {
    if (AllShort(record)) {
        ShortSink sink(buffer);
        WriteExport(record, noFreq, sink);
        return sink.Used();
    }
    BufferSink sink(buffer);
    WriteExport(record, noFreq, sink);
    return sink.Used();
}

void ComposeExport(const QsoRecord& record, bool noFreq, std::string& out) {
    char buffer[kExportMaxBytes];
    out.assign(buffer, ComposeExport(record, noFreq, buffer));
}

std::string ComposeExport(const QsoRecord& record, bool noFreq) {
    std::string out;
    ComposeExport(record, noFreq, out);
    return out;
}

}  // namespace qsoferry
