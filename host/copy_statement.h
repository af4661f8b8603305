// COPY statements that exchange their rows with the client (COPY ... FROM
// STDIN, COPY ... TO STDOUT). An ODBC driver that sends one as plain SQL
// leaves the server waiting for rows the driver cannot send, or streaming
// rows it cannot read: the call never returns. Internal to kxcom.
#pragma once

namespace kxcom::detail {

// True when a statement of `sql` (after leading blanks and comments) is a
// COPY whose rows come from or go to the client, in any letter case, with or
// without a column list or options.
bool IsClientCopy(const char* sql) noexcept;

}  // namespace kxcom::detail
