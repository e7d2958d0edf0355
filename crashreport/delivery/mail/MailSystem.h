#pragma once
// What the mail code asks of the system about the sending machine.

#include <string>
#include <string_view>

namespace crashreport {

// The first field of an account's comment field (the full name); empty when
// there is none.
std::string FullNameFromGecos(std::string_view gecos);
// The full name of the user's account, else the login name.
std::string MailUserName();
// The machine's host name, at most 250 characters.
std::string MailHostName();

} // namespace crashreport
