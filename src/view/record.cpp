// The view's QSO record operations: each is the relay library's rule, applied to the view's record.
#include "relay/text.h"
#include "view/qsoferry_view.h"

namespace qsoferry {

void CQsoferryView::ResetRecord() {
    m_record.Reset();
}
void CQsoferryView::StoreField(std::string name, std::string value) {
    m_record.StoreField(name, value);
}
void CQsoferryView::FinishRecord() {
    m_record.Finish();
}
void CQsoferryView::FixSideband() {
    m_record.FixSideband();
}
void CQsoferryView::CheckComplete() {
    m_record.CheckComplete();
}
void CQsoferryView::NormaliseBand(std::string value) {
    m_record.NormaliseBand(value);
}
void CQsoferryView::NormaliseMode(std::string value) {
    m_record.NormaliseMode(value);
}
void CQsoferryView::NormaliseFreq(std::string value) {
    m_record.NormaliseFreq(value);
}
void CQsoferryView::NormaliseGrid(std::string value) {
    m_record.NormaliseGrid(value);
}
void CQsoferryView::NormaliseComment(std::string value) {
    m_record.NormaliseComment(value);
}

int CQsoferryView::ParseField(std::string piece) {
    return qsoferry::ParsePiece(piece, m_record) == PieceKind::kEndOfRecord ? 1 : 0;
}

}  // namespace qsoferry
