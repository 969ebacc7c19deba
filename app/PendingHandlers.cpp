// Handlers of the History and Comp pages, the instrument print/store buttons
// and the toolbar's open, save and print. Each keeps only the connection check
// that precedes its action until the page it belongs to is built; the history,
// results and print code each move their handlers out of this file.
#include "app/GlobVar.h"
#include "app/KR3090frm.h"

// Result files, history upload and printing
void TfrmKR3090::BitBtn5Click() {
    CheckConnected();
}
