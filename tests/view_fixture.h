// A view on the fake platform with its paths derived, as after start-up, and helpers to run ticks.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "view/qsoferry_view.h"

namespace qsoferry::test {

// The header line and line ends exactly as the decoder writes its log.
inline std::string DecoderLog(const std::vector<std::string>& records) {
    std::string log = "WSJT-X ADIF Export<eoh>\r\n";
    for (const std::string& record : records)
        log += record + " <eor>\r\n";
    return log;
}

class ViewTest : public ::testing::Test {
protected:
    ViewTest() { view.DeriveLogPaths(); }

    WindowHandle StartLogger() { return logger = platform.AddWindow("DXbase", "DXbase - Log"); }

    std::vector<std::string> SentTexts() const {
        std::vector<std::string> texts;
        for (const SentCopyData& s : platform.sent)
            texts.push_back(s.bytes);
        return texts;
    }

    // Writes the log, runs one tick with the logger present, and returns what reached the logger.
    std::vector<std::string> Relay(const std::string& log) {
        if (logger == kNoWindow) StartLogger();
        platform.WriteFile(view.m_strLogPath, log);
        platform.sent.clear();
        view.OnTimer(kPollTimerId);
        return SentTexts();
    }

    std::string ClaimPath() const { return view.m_strLogPath + ".qsoferry"; }

    FakePlatform platform;
    CQsoferryView view{platform};
    WindowHandle logger = kNoWindow;
};

}  // namespace qsoferry::test
