// Handlers of the History and Comp pages, the instrument print/store buttons
// and the toolbar's open, save and print. Each keeps only the connection check
// that precedes its action until the page it belongs to is built; the history,
// results and print code each move their handlers out of this file.
#include "app/GlobVar.h"
#include "app/KR3090frm.h"

// History page (stored-record directory)
void TfrmKR3090::BBtn_HisClick() {
    CheckConnected();
}
void TfrmKR3090::BBtn_OpenClick() {
    CheckConnected();
}
void TfrmKR3090::BBtn_ClearClick() {
    CheckConnected();
}
void TfrmKR3090::BBtn_RetClick() {
    SetActivePage(QStringLiteral("Ctrl"));
    GlobVar.PollEnabled = true;
}
void TfrmKR3090::ParseDirectoryFrame(const std::uint8_t*, int) {}

// Comp page and the instrument's print/store of the current result
void TfrmKR3090::BBtn_CPrintClick() {
    CheckConnected(TMessageIcon::None);
}
void TfrmKR3090::BBtn_CSaveClick() {
    CheckConnected();
}
void TfrmKR3090::BitBtn8Click() {
    CheckConnected();
}
void TfrmKR3090::BitBtn9Click() {
    CheckConnected();
}
void TfrmKR3090::BitBtn10Click() {
    SetActivePage(QStringLiteral("History"));
}
void TfrmKR3090::ParseRecordFrame(const std::uint8_t*, int) {}

// Result files, history upload and printing
void TfrmKR3090::BitBtn3Click() {}
void TfrmKR3090::BitBtn4Click() {
    CheckConnected();
}
void TfrmKR3090::BitBtn5Click() {
    CheckConnected();
}
void TfrmKR3090::BBtn_UpHisClick() {
    CheckConnected();
}
void TfrmKR3090::ParseUploadFrame(const std::uint8_t*, int) {}
