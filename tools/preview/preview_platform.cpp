#include "preview_platform.h"

#include "platform/files.h"

namespace qsoferry {

std::string PreviewPlatform::Resolve(const std::string& path) const {
    auto it = m_moved.find(path);
    return it == m_moved.end() ? path : it->second;
}

void PreviewPlatform::SendCopyData(WindowHandle, unsigned long, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), m_out);
    std::fputc('\n', m_out);
    m_sent = true;
}

bool PreviewPlatform::CanOpenForReading(const std::string& path) {
    // Only names this run moved a file to exist besides the file itself; a real file that happens
    // to lie at such a name is never looked at.
    for (const auto& [moved, real] : m_moved) {
        if (real == path) return false;
    }
    if (m_moved.count(path)) return true;
    return path.find(".qsoferry") == std::string::npos && files::CanOpenForReading(path);
}

FileResult PreviewPlatform::ReadWholeFile(const std::string& path, std::string& bytes) {
    return files::ReadWholeFile(Resolve(path), bytes);
}

FileResult PreviewPlatform::MoveFileNoReplace(const std::string& from, const std::string& to) {
    std::string real = Resolve(from);
    m_moved.erase(from);
    if (real != to) m_moved[to] = real;  // moved back home, it is simply the file again
    return {};
}

FileResult PreviewPlatform::RemoveFile(const std::string& path) {
    m_moved.erase(path);
    return {};
}

void PreviewPlatform::ShowMessage(const std::string& text) {
    std::fprintf(m_err, "%s\n", text.c_str());
    m_lastMessage = text;
}

}  // namespace qsoferry
