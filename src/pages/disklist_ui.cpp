#include "pages/disklist_ui.h"

#include <dbt.h>

#include "ui/wintext.h"

namespace {
constexpr int kServiceSwitch = 1021;  // the enhanced page's multi-floppy service check box
}

DiskListView RefreshDiskList(HWND page, int listId, DiskListPage kind, DiskTable* table, int remembered) {
  HWND list = GetDlgItem(page, listId);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  DiskListView view = RefreshDiskTable(kind, table, remembered);
  for (const std::string& line : view.lines)
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(line.c_str()).c_str()));
  SetFocus(list);
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(view.selection), 0);
  if (kind == DiskListPage::Enhanced) {
    int selected = ListSelection(page, listId);
    CheckDlgButton(page, kServiceSwitch,
                   selected >= 0 && ServiceSwitchChecked(*table, selected) ? BST_CHECKED : BST_UNCHECKED);
  }
  return view;
}

bool IsVolumeArrivalOrRemoval(WPARAM event, LPARAM data) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  return header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
}

int ListSelection(HWND page, int listId) {
  LRESULT selected = SendDlgItemMessageW(page, listId, LB_GETCURSEL, 0, 0);
  return selected == LB_ERR ? -1 : static_cast<int>(selected);
}
