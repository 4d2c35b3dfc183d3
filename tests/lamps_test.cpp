// Presence lamps: which image each lamp gets, what UpdateLamps hands back, and in which order.
#include <gtest/gtest.h>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

class Lamps : public ViewTest {
protected:
    Lamps() {
        view.m_bmpLampOff = 0x10;
        view.m_bmpLampOn = 0x11;
    }
    ~Lamps() override { view.m_bmpLampOff = view.m_bmpLampOn = kNoBitmap; }  // not the fake's to release
};

TEST_F(Lamps, EachLampFollowsItsPeer) {
    EXPECT_EQ(view.UpdateLamps(), kNoWindow);
    EXPECT_EQ(platform.controlImage[IDC_LOGGER_LAMP], 0x10u);
    EXPECT_EQ(platform.controlImage[IDC_DECODER_LAMP], 0x10u);

    WindowHandle dxbase = platform.AddWindow("dxbase", "");  // any title, class in any case
    EXPECT_EQ(view.UpdateLamps(), dxbase);
    EXPECT_EQ(platform.controlImage[IDC_LOGGER_LAMP], 0x11u);
    EXPECT_EQ(platform.controlImage[IDC_DECODER_LAMP], 0x10u);

    WindowHandle graph = platform.AddWindow("Qt5QWindowIcon", "JTDX - Wide Graph");
    view.UpdateLamps();
    EXPECT_EQ(platform.controlImage[IDC_DECODER_LAMP], 0x11u);

    platform.RemoveWindow(dxbase);
    platform.RemoveWindow(graph);
    EXPECT_EQ(view.UpdateLamps(), kNoWindow);
    EXPECT_EQ(platform.controlImage[IDC_LOGGER_LAMP], 0x10u);
    EXPECT_EQ(platform.controlImage[IDC_DECODER_LAMP], 0x10u);
}

TEST_F(Lamps, ChildWindowsAndOtherTitlesAreNotPeers) {
    platform.AddWindow("DXbase", "", false);
    platform.AddWindow("X", "JTDX - Wide Graph", false);
    platform.AddWindow("Qt5QWindowIcon", "JTDX  by HF community");
    EXPECT_EQ(view.UpdateLamps(), kNoWindow);
    EXPECT_EQ(platform.controlImage[IDC_DECODER_LAMP], 0x10u);
}

TEST_F(Lamps, PendingMessagesRunBeforeTheLookupsAndLoggerBeforeDecoder) {
    platform.calls.clear();
    platform.Post([&] { platform.calls.push_back("click"); });
    platform.Post([&] { platform.calls.push_back("paint"); });
    view.UpdateLamps();
    EXPECT_EQ(platform.calls,
              (std::vector<std::string>{"Dispatch", "click", "Dispatch", "paint", "Drain", "FindClass DXbase",
                                        "SetImage 1000", "FindTitle JTDX - Wide Graph", "SetImage 1001"}));
}

}  // namespace
}  // namespace qsoferry::test
