#pragma once
// Alertlib: the notification and command library the monitor plug-ins import.
// Plain C functions over 8-bit (UTF-8) strings; a null string means "not given".
// No exception leaves these functions.

#include "platform/registry/registry.h"

extern "C" {

// The open key HKLM\SOFTWARE\Brackwater\RELAYMOOR\Services\<serviceName>, or null
// when it does not exist. The same handle is handed out again for the same name;
// callers never close it.
HKEY GetServicePluginKey(const char* serviceName);

// Starts playing a sound file and returns without waiting; non-zero when the player
// started.
int Alert(const char* soundFile);

// Sends `message` to `recipients` the way `mode` says:
//   "SMTP://server[:port];sender"  e-mail (STARTTLS when offered), recipients split
//                                  at ";" or ","; the message is the subject
//   "TEL://"                       pager gateway: each "number|message" entry, through
//                                  the command line in the value "PagerCommand" of
//                                  HKLM\SOFTWARE\Brackwater\RELAYMOOR\Alertlib, with the
//                                  number and the text appended
//   "http://..." / "https://..."   gateway URL whose two "%s" take the URL-encoded
//                                  recipients and message; a 2xx answer is success
// Returns non-zero in its lowest byte when sent, 0 otherwise; LastAlertError() then
// says why.
int SendNotify(const char* mode, const char* recipients, const char* message);

// Starts `/bin/sh -c commandLine` and waits at most 200 ms: returns 0 when the
// command has by then ended with status 126 or 127 (not executable, not found) or by
// a signal, else its process id. The process is reaped whenever it ends.
int ExecCmd(const char* commandLine);

// The reason of this thread's last failure of SendNotify, Alert or ExecCmd ("" when
// none). Valid until the thread's next Alertlib call.
const char* LastAlertError();

} // extern "C"
