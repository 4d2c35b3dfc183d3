// The document: stores nothing. It has a title (set by the view) and, after an open or a save, the
// name of its file.
#pragma once

#include <string>

namespace qsoferry {

class CQsoferryDoc {
public:
    bool OnNewDocument();
    void Serialize() {}  // reads and writes nothing, storing or loading

    void SetTitle(const std::string& title) { m_strTitle = title; }
    const std::string& GetTitle() const { return m_strTitle; }
    void SetPathName(const std::string& path) { m_strPathName = path; }
    const std::string& GetPathName() const { return m_strPathName; }

private:
    std::string m_strTitle;
    std::string m_strPathName;
};

}  // namespace qsoferry
