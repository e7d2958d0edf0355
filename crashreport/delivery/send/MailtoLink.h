#pragma once
// The "mailto:" link of the shell's mail fall-back:
//   mailto:<recipients>?Subject=<subject>&Body=<body, three line breaks, the report>
// Subject and body are encoded byte by byte: "-", digits, ASCII letters and every byte from 128
// up stay as they are (UTF-8 sequences stay whole); every other byte becomes "%XX".

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace crashreport
{

// Beyond this length a link is not handed to the mail client whole: command lines and mail
// clients cut or refuse much longer links.
inline constexpr std::size_t MaxMailtoLinkLength = 32000;

std::string encodeMailtoText(std::string_view text);

// The link with the report in the body; when that is longer than maxLength, the link without
// the report text (the report then travels only as the attachment).
std::string buildMailtoLink(const std::vector<std::string> &recipients, const std::string &subject,
    const std::string &body, const std::string &report, std::size_t maxLength = MaxMailtoLinkLength);

} // namespace crashreport
