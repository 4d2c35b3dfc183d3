// A view on the fake platform started as on a station where the bridge has run before (the
// start-up backup is there), and helpers to run ticks with the message loop between them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "view/qsoferry_view.h"

namespace qsoferry::test {

const std::string kJtdxFolder = "C:\\Documents and Settings\\OPER\\Local Settings\\Application Data\\JTDX\\";

// The header line and line ends exactly as the decoder writes its log.
inline std::string DecoderLog(const std::vector<std::string>& records) {
    std::string log = "WSJT-X ADIF Export<eoh>\r\n";
    for (const std::string& record : records)
        log += record + " <eor>\r\n";
    return log;
}

// The call sign (position 1) of every record that reached the logger.
inline std::vector<std::string> CallsAtLogger(const FakePlatform& platform) {
    std::vector<std::string> calls;
    for (const SentCopyData& s : platform.sent)
        calls.push_back(s.bytes.substr(0, s.bytes.find('#')));
    return calls;
}

// Routes the logger's answers to the view, as the form window does, and runs ticks with the message
// loop after each.
inline void AttachLogger(FakePlatform& platform, CQsoferryView& view) {
    platform.sendDone = [&view] { view.OnSendDone(); };
}
inline void TickAndRun(FakePlatform& platform, CQsoferryView& view) {
    view.OnTimer(kPollTimerId);
    platform.RunQueue();
}

// A station where the bridge has run before, in a profile whose local application data Windows
// names, DXbase running: File, Send a Log sends from there.
const std::string kLocalAppData = "C:\\Users\\oper\\AppData\\Local";
struct SendingStation {
    SendingStation() {
        platform.localAppData = kLocalAppData;
        platform.WriteFile(kLocalAppData + "\\JTDX\\wsjtx_log_bak.adi", "");
        platform.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
        AttachLogger(platform, view);
        view.OnInitialUpdate();
        platform.AddWindow("DXbase", "");
    }
    FakePlatform platform;
    CQsoferryView view{platform};
};

class ViewTest : public ::testing::Test {
protected:
    ViewTest() {
        platform.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
        AttachLogger(platform, view);
        view.OnInitialUpdate();
        platform.calls.clear();
    }

    WindowHandle StartLogger() { return logger = platform.AddWindow("DXbase", "DXbase - Log"); }

    // One tick, then the message loop until nothing is pending: the logger's answers included.
    void Tick() { TickAndRun(platform, view); }

    std::vector<std::string> SentTexts() const {
        std::vector<std::string> texts;
        for (const SentCopyData& s : platform.sent)
            texts.push_back(s.bytes);
        return texts;
    }

    // Writes the log, runs one tick with the logger present, and returns what reached the logger.
    std::vector<std::string> Relay(const std::string& log) {
        if (logger == kNoWindow) StartLogger();
        platform.WriteFile(view.LogPath(), log);
        platform.sent.clear();
        Tick();
        return SentTexts();
    }

    std::string ClaimPath() const { return view.Delivery().ClaimPath(); }

    FakePlatform platform;
    CQsoferryView view{platform};
    WindowHandle logger = kNoWindow;
};

}  // namespace qsoferry::test
