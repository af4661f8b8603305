// ODBC connection strings: `KEY=value;KEY={value;with;semicolons};...`.
// Internal to kxcom.
#pragma once

#include <string>

namespace kxcom::detail {

// The value of `key` (compared ignoring case), and whether it is there.
bool FindConnectionKey(const std::string& connection, const std::string& key, std::string* value);
// `connection` with `key` set to `value`: replaced where it stands, else added.
std::string WithConnectionKey(const std::string& connection, const std::string& key, const std::string& value);

}  // namespace kxcom::detail
