#include "app/qsoferry_doc.h"

namespace qsoferry {

bool CQsoferryDoc::OnNewDocument() {
    m_strPathName.clear();
    return true;
}

}  // namespace qsoferry
