// Presence lamps: is the logger's window there, is the decoder's? Also the queue drain that keeps
// the window answering while a cycle runs.
#include "view/qsoferry_view.h"

#include <utility>
#include <vector>

#include "relay/text.h"

namespace qsoferry {

void CQsoferryView::DrainMessageQueue() {
    DrainResult msg;
    while ((msg = m_platform.DispatchPendingMessage()) == DrainResult::kDispatched) {
    }
    // The program is ending: whatever cycle is running stops at its next look at the flag.
    if (msg == DrainResult::kQuit) CloseCouriers(kCloseWaitMs);
}

WindowHandle CQsoferryView::UpdateLamps() {
    DrainMessageQueue();
    if (m_bClosing) return kNoWindow;  // the controls may be gone already
    return SetLamps();
}

WindowHandle CQsoferryView::SetLamps() {
    WindowHandle logger = m_platform.FindWindowByClass(kLoggerClass);
    ShowLamp(m_ctlLoggerLamp, logger != kNoWindow, m_bLoggerLampLit, "DXbase");
    bool decoder = false;
    for (const std::string& title : m_platform.TopLevelWindowTitles())
        decoder = decoder || IsJtdxWideGraphTitle(title);
    ShowLamp(m_ctlDecoderLamp, decoder, m_bDecoderLampLit, "JTDX");
    return logger;
}

// The name a screen reader speaks changes with the state only: an unchanged one told again at
// every tick would be read out again.
void CQsoferryView::ShowLamp(int control, bool lit, std::optional<bool>& named, const char* peer) {
    m_platform.SetControlImage(control, lit ? m_bmpLampOn : m_bmpLampOff);
    if (named == lit) return;
    named = lit;
    m_platform.SetControlName(control, std::string(peer) + (lit ? ": running" : ": not running"));
}

void CQsoferryView::OnThemeChanged() {
    // The new pictures are shown before the old ones go: a control never shows a freed bitmap. One
    // that fails to load leaves the old one in place. Once the session is ending the lamps are
    // shown no more, and keep what they show.
    if (m_bClosing) return;
    std::vector<BitmapHandle> old;
    for (auto [bitmap, id] : {std::pair{&m_bmpLampOff, IDB_LAMP_OFF}, std::pair{&m_bmpLampOn, IDB_LAMP_ON}}) {
        BitmapHandle fresh = m_platform.LoadBitmapResource(id);
        if (fresh == kNoBitmap) continue;
        if (*bitmap != kNoBitmap) old.push_back(*bitmap);
        *bitmap = fresh;
    }
    SetLamps();
    for (BitmapHandle bitmap : old)
        m_platform.ReleaseBitmap(bitmap);
}

namespace {

// The words JTDX puts after its name in the Wide Graph's title, from its translation files:
// English (kept by the French, Latvian, Dutch and Russian translations), Catalan, Danish, Spanish,
// Estonian, Croatian, Hungarian, Italian, Japanese, Polish, Portuguese, Swedish and Chinese.
constexpr std::string_view kWideGraphWords[] = {
    "Wide Graph",
    "Gràfic Ampli",
    "Vandfald",
    "Gráfico amplio",
    "Lai graafik",
    "Vodopad",
    "Széles sávú grafikon",
    "Spettro",
    "ワイドグラフ",
    "Wodospad",
    "Gráfico Amplo" /* and "amplo" */,
    "Bred graf",
    "频谱图",
    "頻譜圖",
};

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text::EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

}  // namespace

// The title is applicationName + " - " + the words, and applicationName is "JTDX", or with a rig
// name (or test mode) "JTDX - <name>". A rig name may hold " - " itself: the title is matched from
// both ends, the name being whatever lies between.
bool IsJtdxWideGraphTitle(std::string_view title) {
    constexpr std::string_view kHead = kRigFolderPrefix;  // "JTDX - "
    if (title.size() < kHead.size() || !text::EqualsNoCase(title.substr(0, kHead.size()), kHead)) return false;
    const std::string_view rest = title.substr(kHead.size());
    for (std::string_view words : kWideGraphWords) {
        if (text::EqualsNoCase(rest, words)) return true;
        if (rest.size() > words.size() + 3 && EndsWithNoCase(rest, words) &&
            rest.substr(rest.size() - words.size() - 3, 3) == " - ") {
            return true;
        }
    }
    return false;
}

}  // namespace qsoferry
