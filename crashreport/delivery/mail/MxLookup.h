#pragma once
// Finds a recipient's mail exchanger by asking DNS servers over UDP.

#include "MailEnvironment.h"

#include <string>
#include <string_view>
#include <vector>

namespace crashreport {

// The wait of try 0, 1, 2 at one server: (timeout + 150) / 3 + 100 * try.
int MxTryTimeout(int timeoutMs, int tryNumber);

// Asks each server in order, up to three tries each, until one answers with
// an exchanger. Raises ECrashSocketError "Cannot resolve the "<domain>" MX
// record." when none does.
std::string LookUpMailExchanger(std::string_view recipient, int timeoutMs, const std::vector<DnsServer> &servers);
// The same with MailDnsServers() and the environment's time-out bound.
std::string LookUpMailExchanger(std::string_view recipient, int timeoutMs);

} // namespace crashreport
