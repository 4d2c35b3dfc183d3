// Presence lamps: which image each lamp gets at each tick, and in which order.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

class Lamps : public ViewTest {
protected:
    BitmapHandle Logger() { return platform.controlImage[IDC_LOGGER_LAMP]; }
    BitmapHandle Decoder() { return platform.controlImage[IDC_DECODER_LAMP]; }
    const BitmapHandle off = platform.loadedBitmaps[IDB_LAMP_OFF];
    const BitmapHandle on = platform.loadedBitmaps[IDB_LAMP_ON];
};

TEST_F(Lamps, EachLampFollowsItsPeer) {
    ASSERT_NE(on, off);
    Tick();
    EXPECT_EQ(Logger(), off);
    EXPECT_EQ(Decoder(), off);

    WindowHandle dxbase = platform.AddWindow("dxbase", "");  // any title, class in any case
    Tick();
    EXPECT_EQ(Logger(), on);
    EXPECT_EQ(Decoder(), off);

    WindowHandle graph = platform.AddWindow("Qt5QWindowIcon", "JTDX - Wide Graph");
    WindowHandle later = platform.AddWindow("Notepad", "Untitled - Notepad");  // listed after it
    Tick();
    EXPECT_EQ(Decoder(), on);
    platform.RemoveWindow(later);

    platform.RemoveWindow(dxbase);
    platform.RemoveWindow(graph);
    Tick();
    EXPECT_EQ(Logger(), off);
    EXPECT_EQ(Decoder(), off);
}

// Every JTDX Wide Graph lights the lamp: with a rig name, in test mode, in any language JTDX
// ships; a rig name may hold " - " itself. Nothing else does.
TEST_F(Lamps, TheDecoderLampKnowsEveryJtdxWideGraph) {
    const struct {
        const char* title;
        bool jtdx;
    } cases[] = {
        {"JTDX - IC7300 - Wide Graph", true},
        {"JTDX - test - Wide Graph", true},
        {"JTDX - IC-7300 - Ω 2 - Wide Graph", true},
        {"jtdx - wide graph", true},
        {"JTDX - ワイドグラフ", true},
        {"JTDX - FT991 - 频谱图", true},
        {"JTDX - Széles sávú grafikon", true},
        {"JTDX - FT-DX10 - Gráfico amplo", true},
        {"JTDX -  - Wide Graph", false},
        {"JTDX - Wide Graph 2", false},
        {"JTDX - IC7300 - Wide", false},
        {"JTDX - IC7300Wide Graph", false},
        {"JTDX - IC7300", false},
        {"WSJT-X - Wide Graph", false},
        {"JTDX", false},
    };
    for (const auto& c : cases) {
        WindowHandle graph = platform.AddWindow("Qt5QWindowIcon", c.title);
        Tick();
        EXPECT_EQ(Decoder(), c.jtdx ? on : off) << c.title;
        platform.RemoveWindow(graph);
    }
}

TEST_F(Lamps, ChildWindowsAndOtherTitlesAreNotPeers) {
    platform.AddWindow("DXbase", "", false);
    platform.AddWindow("X", "JTDX - Wide Graph", false);
    platform.AddWindow("Qt5QWindowIcon", "JTDX  by HF community");
    Tick();
    EXPECT_EQ(Logger(), off);
    EXPECT_EQ(Decoder(), off);
}

// A screen reader names each lamp's peer and state; a name is told again only when it changes.
TEST_F(Lamps, EachLampsNameSaysItsPeerAndStateAndChangesOnlyWithIt) {
    const struct {
        bool logger, decoder;
        const char *loggerName, *decoderName;
        size_t told;
    } steps[] = {
        {true, false, "DXbase: running", "JTDX: not running", 1},
        {true, true, "DXbase: running", "JTDX: running", 1},
        {true, true, "DXbase: running", "JTDX: running", 0},
        {false, false, "DXbase: not running", "JTDX: not running", 2},
    };
    WindowHandle dxbase = kNoWindow, graph = kNoWindow;
    for (const auto& step : steps) {
        if (step.logger && dxbase == kNoWindow) dxbase = platform.AddWindow("DXbase", "");
        if (!step.logger && dxbase != kNoWindow) platform.RemoveWindow(std::exchange(dxbase, kNoWindow));
        if (step.decoder && graph == kNoWindow) graph = platform.AddWindow("Qt5QWindowIcon", "JTDX - Wide Graph");
        if (!step.decoder && graph != kNoWindow) platform.RemoveWindow(std::exchange(graph, kNoWindow));
        platform.calls.clear();
        Tick();
        EXPECT_EQ(platform.controlName[IDC_LOGGER_LAMP], step.loggerName);
        EXPECT_EQ(platform.controlName[IDC_DECODER_LAMP], step.decoderName);
        EXPECT_EQ(platform.CallsNamed("Name ").size(), step.told) << step.loggerName << ", " << step.decoderName;
        EXPECT_EQ(Logger(), step.logger ? on : off);
    }
}

// A high-contrast theme turned on or off: the lamps are loaded again (drawn in the theme's colours)
// and shown in the state they are in; the old pictures are freed only once no lamp shows them, and
// a picture that fails to load leaves the old one.
TEST_F(Lamps, AThemeChangeShowsNewPicturesAndFreesTheOld) {
    platform.AddWindow("DXbase", "");
    Tick();
    platform.failingBitmaps.insert(IDB_LAMP_OFF);
    platform.calls.clear();
    bool drained = false;  // the change is sent: a drain there would run a tick inside it
    platform.Post([&] { drained = true; });
    view.OnThemeChanged();
    EXPECT_FALSE(drained);
    const BitmapHandle newOn = platform.loadedBitmaps[IDB_LAMP_ON];
    EXPECT_NE(newOn, on);
    EXPECT_EQ(Logger(), newOn);
    EXPECT_EQ(Decoder(), off) << "the unlit picture that failed to load is kept";
    EXPECT_EQ(platform.liveBitmaps.count(on), 0u);
    EXPECT_EQ(platform.liveBitmaps.count(off), 1u);
    EXPECT_EQ(platform.CallsNamed("Name ").size(), 0u) << "the names stay: nothing changed for a screen reader";
    const std::vector<std::string> calls = platform.calls;
    const auto shown = std::find(calls.begin(), calls.end(), "SetImage " + std::to_string(IDC_LOGGER_LAMP));
    const auto freed = std::find(calls.begin(), calls.end(), "ReleaseBitmap");
    EXPECT_LT(shown - calls.begin(), freed - calls.begin()) << "freed while a lamp showed it";
}

// Windows' end of session leaves the windows up until it ends the process: a change of theme then
// must not free the pictures the lamps still show.
TEST_F(Lamps, AThemeChangeAfterTheSessionEndedFreesNoPictureALampShows) {
    platform.AddWindow("DXbase", "");
    Tick();
    view.OnQueryEndSession();
    view.OnEndSession(true);
    view.OnThemeChanged();
    EXPECT_EQ(platform.liveBitmaps.count(Logger()), 1u) << "the lit lamp shows a freed picture";
    EXPECT_EQ(platform.liveBitmaps.count(Decoder()), 1u) << "the unlit lamp shows a freed picture";
}

TEST_F(Lamps, PendingMessagesRunBeforeTheLookupsAndLoggerBeforeDecoder) {
    platform.calls.clear();
    platform.Post([&] { platform.calls.push_back("click"); });
    platform.Post([&] { platform.calls.push_back("paint"); });
    Tick();
    platform.calls.resize(std::min<size_t>(platform.calls.size(), 9));  // the lamps come first
    EXPECT_EQ(platform.calls,
              (std::vector<std::string>{"Dispatch", "click", "Dispatch", "paint", "Drain", "FindClass DXbase",
                                        "SetImage 1000", "Titles", "SetImage 1001"}));
}

}  // namespace
}  // namespace qsoferry::test
