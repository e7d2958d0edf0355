// libFuzzer target of the HTML form scanners and the title count: any page must be read within
// its bounds and in bounded time. The first byte picks a name the page may carry.

#include "HtmlScan.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static constexpr std::string_view names[] = { "summary", "project_id", "severity", "description", "a", "" };
    const std::string_view page(reinterpret_cast<const char *>(data), size);
    const std::string_view name = names[size > 0 ? data[0] % std::size(names) : 0];
    (void)crashreport::HtmlInputValue(page, name);
    (void)crashreport::HtmlTextArea(page, name);
    (void)crashreport::HtmlSelectedOption(page, name);
    (void)crashreport::HtmlOptionByText(page, name, "Vetu");
    (void)crashreport::ContainsNoCase(page, "href=\"view.php?id=");
    (void)crashreport::CountTitleRepetition(page.substr(0, 256));
    return 0;
}
