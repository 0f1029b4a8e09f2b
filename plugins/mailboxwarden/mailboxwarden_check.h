#pragma once
// Mailboxwarden's check: a POP3 login with the record's account, STAT, and the
// headers of the newest message (TOP n 0), so the check proves that mail can be
// retrieved. Nothing is deleted.

#include "plugins/common/plugin_type.h"

namespace ospreon::mailboxwarden {

class MailboxwardenCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser* user) override;
};

} // namespace ospreon::mailboxwarden
