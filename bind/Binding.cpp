// Account binding from the window: a bind button runs the service model's binding over
// the service's row, on the user-interface thread, one blocking request after another.
// The window lends it the browser and the verification-code dialog, its message boxes,
// the status log and the label that shows the bound name.
#include "app/MainDlg.h"

void CMainDlg::OnBind(EService service) {
  BindAccount(ServiceRow(service), m_state, ServiceIo(service));
}
