// The platform behind qsoferry-preview: the logger is standard output, nothing on disk changes.
// Moves and deletes are only remembered, so the real engine reads the file as the bridge would
// without consuming it.
#pragma once

#include <cstdio>
#include <map>
#include <string>

#include "platform/platform.h"

namespace qsoferry {

class PreviewPlatform : public Platform {
public:
    PreviewPlatform(bool noFreq, std::FILE* out, std::FILE* err) : m_noFreq(noFreq), m_out(out), m_err(err) {}

    const std::string& LastMessage() const { return m_lastMessage; }
    bool SentAnything() const { return m_sent; }

    DrainResult DispatchPendingMessage() override { return DrainResult::kEmpty; }
    WindowHandle FindWindowByClass(const std::string&) override { return kLogger; }
    WindowHandle FindWindowByTitle(const std::string&) override { return kNoWindow; }
    void SendCopyData(WindowHandle target, unsigned long marker, const std::string& bytes) override;
    BitmapHandle LoadBitmapResource(int) override { return kNoBitmap; }
    void ReleaseBitmap(BitmapHandle) override {}
    void SetControlImage(int, BitmapHandle) override {}
    int GetCheckState(int) override { return m_noFreq ? 1 : 0; }
    void SetCheckState(int, int) override {}
    void SetDocumentTitle(const std::string&) override {}
    void SetMainCaption(const std::string&) override {}
    void FitFrameToForm() override {}
    void StartTimer(unsigned, unsigned) override {}
    bool CanOpenForReading(const std::string& path) override;
    FileResult ReadWholeFile(const std::string& path, std::string& bytes) override;
    FileResult MoveFileNoReplace(const std::string& from, const std::string& to) override;
    FileResult RemoveFile(const std::string& path) override;
    std::optional<std::string> UserName() override { return std::nullopt; }
    void ShowMessage(const std::string& text) override;

private:
    static constexpr WindowHandle kLogger = 1;
    std::string Resolve(const std::string& path) const;

    bool m_noFreq;
    std::FILE* m_out;
    std::FILE* m_err;
    std::string m_lastMessage;
    bool m_sent = false;
    std::map<std::string, std::string> m_moved;  // new name -> the real file behind it
};

}  // namespace qsoferry
