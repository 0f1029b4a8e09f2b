// placeholder: implemented next
#include "alertlib/alertlib.h"
extern "C" {
HKEY GetServicePluginKey(const char*) { return nullptr; }
int Alert(const char*) { return 0; }
int SendNotify(const char*, const char*, const char*) { return 0; }
int ExecCmd(const char*) { return 0; }
const char* LastAlertError() { return ""; }
}
